"""Pictures grabbed from windows, as (width, height, RGB bytes with the top row first), and tests on them."""


def pixel(img, x, y):
    width, _, data = img
    offset = (y * width + x) * 3
    return tuple(data[offset:offset + 3])


def is_black(rgb, tolerance=8):
    return max(rgb) <= tolerance


def is_reddish(rgb):
    red, green, blue = rgb
    return red > 2 * max(green, blue) + 40


def region_is_black(img, left, top, right, bottom, step=1):
    return all(is_black(pixel(img, x, y)) for y in range(top, bottom, step) for x in range(left, right, step))


def region_differs(first, second, left, top, right, bottom):
    return any(pixel(first, x, y) != pixel(second, x, y) for y in range(top, bottom) for x in range(left, right))


def differing_pixels(first, second, rows, tolerance=0):
    """How many pixels of the top rows differ by more than tolerance in some channel."""
    width, _, a = first
    _, _, b = second
    return sum(1 for i in range(0, width * rows * 3, 3)
               if max(abs(a[i] - b[i]), abs(a[i + 1] - b[i + 1]), abs(a[i + 2] - b[i + 2])) > tolerance)


def is_greenish(rgb):
    red, green, blue = rgb
    return green > max(red, blue) + 40


def bounding_box(img, test, top=0, bottom=None):
    """(left, top, right, bottom), ends excluded, of the pixels in rows top to bottom that pass test, or None."""
    width, height, _ = img
    bottom = height if bottom is None else bottom
    box = None
    for y in range(top, bottom):
        xs = [x for x in range(width) if test(pixel(img, x, y))]
        if xs:
            if box is None:
                box = [xs[0], y, xs[-1] + 1, y + 1]
            box = [min(box[0], xs[0]), box[1], max(box[2], xs[-1] + 1), y + 1]
    return tuple(box) if box else None

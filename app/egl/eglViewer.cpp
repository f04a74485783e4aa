// The offscreen window services; see eglViewer.h.
#include "app/egl/eglViewer.h"

#include <string>

#include "base/platform.h"

namespace {

bool openViewer(void* context, const ViewerHost&, const char*, int32_t width, int32_t height)
{
    EglViewer& viewer = *static_cast<EglViewer*>(context);
    OffscreenFault fault;
    if (openOffscreen(width, height, &viewer.offscreen, &fault)) {
        return true;
    }
    writeUserText(UserStream::error,
                  (std::string("brevant: cannot draw without a display: ") + fault.text + "\n").c_str());
    return false;
}

void drawableSize(void* context, int32_t* width, int32_t* height)
{
    const EglViewer& viewer = *static_cast<const EglViewer*>(context);
    *width = viewer.offscreen.width;
    *height = viewer.offscreen.height;
}

EventTaken poll(void*, int*)
{
    return EventTaken::none;
}

void swap(void*)
{
}

void setTitle(void*, const char*)
{
}

void closeViewer(void* context)
{
    closeOffscreen(&static_cast<EglViewer*>(context)->offscreen);
}

}  // namespace

ViewerWindow eglViewerWindow(EglViewer& viewer)
{
    return ViewerWindow{&viewer, openViewer, drawableSize, poll, swap, setTitle, closeViewer};
}

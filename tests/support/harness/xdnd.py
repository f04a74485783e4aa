"""Drops a file on an X window the way a file manager does, through the XDND protocol (version 5), so
end-to-end tests can exercise a real drop. Needs python3-xlib.

    drop_file(display_name, window_id, path, timeout=10) -> True when the target took the drop
"""
import os
import time
import urllib.parse

from Xlib import X, Xatom, display as xdisplay, protocol

XDND_VERSION = 5


def _client_message(disp, target, source, message_type, data):
    event = protocol.event.ClientMessage(window=target, client_type=message_type, data=(32, data))
    target.send_event(event, event_mask=0)
    disp.flush()


def _next_event(disp, deadline):
    while time.monotonic() < deadline:
        if disp.pending_events():
            return disp.next_event()
        time.sleep(0.01)
    return None


def drop_file(display_name, window_id, path, timeout=10):
    disp = xdisplay.Display(display_name)
    try:
        atom = lambda name: disp.intern_atom(name)  # noqa: E731
        aware, enter, position, status, drop, finished, selection, uri_list, copy = (
            atom("XdndAware"), atom("XdndEnter"), atom("XdndPosition"), atom("XdndStatus"), atom("XdndDrop"),
            atom("XdndFinished"), atom("XdndSelection"), atom("text/uri-list"), atom("XdndActionCopy"))
        target = disp.create_resource_object("window", window_id)
        prop = target.get_full_property(aware, Xatom.ATOM)
        if prop is None:
            raise RuntimeError("window 0x%x does not accept drops (no XdndAware)" % window_id)
        version = min(XDND_VERSION, prop.value[0])

        screen = disp.screen()
        source = screen.root.create_window(0, 0, 1, 1, 0, screen.root_depth, event_mask=X.PropertyChangeMask)
        source.set_selection_owner(selection, X.CurrentTime)
        uri = "file://" + urllib.parse.quote(os.path.abspath(path)) + "\r\n"
        geometry = target.get_geometry()
        origin = target.translate_coords(screen.root, 0, 0)
        x = -origin.x + geometry.width // 2
        y = -origin.y + geometry.height // 2

        deadline = time.monotonic() + timeout
        _client_message(disp, target, source, enter, [source.id, version << 24, uri_list, 0, 0])
        _client_message(disp, target, source, position, [source.id, 0, (x << 16) | y, X.CurrentTime, copy])
        accepted = None
        dropped = False
        while True:
            event = _next_event(disp, deadline)
            if event is None:
                return False
            if event.type == X.ClientMessage and event.client_type == status and not dropped:
                accepted = bool(event.data[1][1] & 1)
                if not accepted:
                    return False
                _client_message(disp, target, source, drop, [source.id, 0, X.CurrentTime, 0, 0])
                dropped = True
            elif event.type == X.SelectionRequest:
                requestor = event.requestor
                if event.target == uri_list:
                    requestor.change_property(event.property, uri_list, 8, uri.encode())
                    answered = event.property
                else:
                    answered = X.NONE
                notify = protocol.event.SelectionNotify(time=event.time, requestor=requestor,
                                                        selection=event.selection, target=event.target,
                                                        property=answered)
                requestor.send_event(notify, event_mask=0)
                disp.flush()
            elif event.type == X.ClientMessage and event.client_type == finished:
                return True
    finally:
        disp.close()

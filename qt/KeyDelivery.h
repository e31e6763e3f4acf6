#pragma once

// Keys typed into an editing view, handled at once on X11.
//
// Qt reads the X server's events, queues what they mean and flushes its own
// requests for them (the key's user time) to the server; only then does the
// event loop hand the key to the widget. That flush wakes the server while the
// key is still on its way, and on a machine of few processors the server then
// takes the processor from the program. A key pressed while an editing view
// has the focus, with nothing queued before it, is instead handled inside the
// reading of the server's events: the view's pixels leave in the same write
// as Qt's requests, and no other event overtakes it.
//
// Every other event, and whatever runs once the key has reached a widget (a
// shortcut's dialog included), is queued as before.

namespace platform {

// Installs the native event filter that decides it, once; nothing off X11.
void HandleEditorKeysAtOnce();
// Back to queued delivery: called when a key reaches a widget.
void QueueWindowSystemEvents();

}  // namespace platform

// The end of the desktop session and of the system, as the program meets them:
// the session manager's request to save (X11 session management) and logind's
// PrepareForShutdown become quit requests, which the application's quit gate
// answers like any other; logind's inhibitor locks on shut-down hold the machine
// while the program has work only in memory. Without a system bus (containers)
// no lock is had and nothing else changes.
#pragma once

namespace fw {

class SessionEnd {
public:
    // From now on the session's end and the system's shut-down ask the
    // application to quit (Quit(0) on the main thread). Call once the runtime is up.
    static void QuitOnSessionEnd();

    // The shut-down locks wanted now: "delay" and "block". Asked for and given
    // back asynchronously; a lock refused (no logind, not allowed) is asked for
    // again only once it was not wanted in between. Main thread.
    static void HoldShutdown(bool delay, bool block);

    // What both requests do: a quit request for the application, queued to the
    // main thread.
    static void RequestQuit();
};

}  // namespace fw

#pragma once
// The state kept for the whole process rather than in a runtime, listed in one place with
// why each cannot live in a runtime (a runtime owns everything else: runtime.h).
//
//   errortrap/core/runtime.cpp      The current runtime, and the process's own one before main
//                                   makes another current: enter and leave are reached from
//                                   any code, with no runtime to hand.
//   platform/services.cpp           How the platform's free functions find the services in use
//                                   (set once, before main: the current runtime's set); there
//                                   is no second "current" pointer to keep in step.
//   errortrap/report/crash_handler.cpp
//                                   The signal and terminate handlers and what they read (the
//                                   journal socket opened at start-up among it): a fatal signal
//                                   comes to the process, not to a runtime, when nothing may be
//                                   allocated or opened any more.
//   platform/mail_sendmail.cpp      The mail queue and its sending thread: a report still on its
//                                   way must outlive the error (and the runtime) that sent it.
//   platform/memory_status.cpp      /proc/meminfo, kept open: one descriptor serves every reader.
//   platform/child_watcher.cpp      The watcher of started programs: a process has one set of
//                                   children and one SIGCHLD, whichever runtime started them.
//   platform/log_open.cpp           The descriptor held back for the error's report when the
//                                   process runs out of them: descriptors are the process's.
//   platform/kept_file.cpp          Where a copy from a mapped file jumps back to when the file
//                                   shrinks under it: SIGBUS comes to the process.
//   platform/app_object.cpp         The instance lock as it was found at start (taken, held by
//                                   another instance, or none to be had, and why): the lock
//                                   belongs to the process, taken once.
//   platform/profile_trust.cpp      The profiles already said to be ignored: one line on standard
//                                   error per file and run, whichever runtime read the file.
//   errortrap/dialog/error_dialog.cpp, errortrap/dialog/help_viewer.cpp, app/frm_about.cpp
//                                   The windows there is one of per process: the error dialog,
//                                   the help viewer, the About box.
namespace platform {

// Forgets which profiles were said to be ignored, so that the next refusal of each is said
// again: a test's fresh runtime starts from here, whatever tests ran before it.
void forgetIgnoredProfiles();

}  // namespace platform

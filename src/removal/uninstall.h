#pragma once

// The removal, started without options by the system's list of installed programs, or by
// "/remove" (silent with a final "/s": no box at all). Ends the process once the self-deleting
// batch file is started. Returns 0 when the user declined or nothing could be removed, and in
// silent mode one of the exit codes of platform/exit_codes.h.
int UninstallArchiver(bool silent);

// Counts the calls this program makes to chosen system functions, so that the code under test stays
// as it ships: the functions' import slots are pointed at thunks that count and go on to the real
// function. Calls made through GetProcAddress are not seen.
#pragma once

// The registry functions the registry layer calls (advapi32), and GetVersionExA (kernel32).
long RegistryCalls();
long VersionQueries();

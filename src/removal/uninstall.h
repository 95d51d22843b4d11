#pragma once

// The removal: started without options by the system's list of installed programs.
void UninstallArchiver();

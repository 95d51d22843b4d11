// A clean slate for the integration tests: everything the setup may have written is removed.
#pragma once
#include <string>

extern const char* const kAllExtensions[18];

void ResetIntegrationState();
std::string VolumeName(int number);  // ".k07"
std::string OwnSetupKey(const std::string& extension);  // HKCU path of an extension's setup key

// File associations: the chosen archive types' extensions are taken over (their previous owners
// recorded under the own key) and the others given back; the archiver's two ProgIDs.
#pragma once
#include "setup/settings.h"

extern const char kProgId[];     // "Korvex", the KVX type and its volumes
extern const char kZipProgId[];  // "Korvex.ZIP"

bool IsOwnAssociation(const char* extension);
void ApplyAssociations(const IntegrationSettings* settings);
// The removal's part: every extension given back, except those pointing at a ProgID that is another
// installation's (`progIdKept` for kProgId, `zipProgIdKept` for kZipProgId), which stay as they are.
void ReleaseAssociations(bool progIdKept, bool zipProgIdKept);
// Whether the ProgID's open command starts another installation's archiver (platform/installations).
bool IsAnotherInstallationsProgId(const char* progId);
// The archiver's two ProgIDs: names, open command and icon (no command or icon when the archiver's
// path does not fit).
void RegisterProgIds();
// Tells the shell that types and handlers changed, so it drops what it has cached of them.
void NotifyAssociationsChanged();

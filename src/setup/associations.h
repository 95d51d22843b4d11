// File associations: the chosen archive types' extensions are taken over (their previous owners
// recorded under the own key) and the others given back; the archiver's two ProgIDs.
#pragma once
#include "setup/settings.h"

bool IsOwnAssociation(const char* extension);
void ApplyAssociations(const IntegrationSettings* settings);
void RegisterProgIds();

// Systems from 4.90 on keep new-archive templates as files, older ones as bytes in the registry.
bool IsNewerSystem();

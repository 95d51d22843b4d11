// Message lookup: the program's messages from the current resource module, translated by the
// language file.
#pragma once

const int kMessageSize = 256;

// The text of a message id, translated, into `out` (kMessageSize bytes). Safe on any thread.
void LoadMessageText(int id, char* out);
// The same, held in a ring of eight buffers, so a result stays valid through the next seven lookups:
// for the boxes and dialogs of the main thread only.
const char* GetMessageText(int id);
// The program's own text of a message, neither from the library nor translated: for a place where
// a translation cannot be used as it stands. Into `out` (kMessageSize bytes).
void LoadBuiltInMessageText(int id, char* out);

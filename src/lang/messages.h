// Message lookup: the program's messages from the current resource module, translated by the
// language file.
#pragma once

const int kMessageSize = 256;

// The text of a message id, translated; held in a ring of eight buffers, so a result stays valid
// through the next seven lookups.
const char* GetMessageText(int id);
// The program's own text of a message, neither from the library nor translated: for a place where
// a translation cannot be used as it stands. Shares the ring with GetMessageText.
const char* GetBuiltInMessageText(int id);

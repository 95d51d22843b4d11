// Shell links to the archiver: desktop, start menu and the program group (also for all users on
// the NT family).
#pragma once
#include "platform/paths.h"
#include "setup/settings.h"

// Makes or removes each place as its flag says; when the program group is made and `groupPathOut`
// (1024 bytes) is not null, it receives the current user's group folder.
void ApplyLinks(const IntegrationSettings* settings, char* groupPathOut);

// ApplyLinks in two halves, so that other work runs while the links are saved: StartLinks removes
// what is not wanted, makes the group folders and starts saving the links, side by side;
// FinishLinks returns once all are written. Saving costs the shell more waiting than work.
struct LinkWork {
  static const int kMostLinks = 8;  // desktop, start menu, and three in each of two groups
  struct Job {
    char target[kPathSize];
    char link[kPathSize];
  } jobs[kMostLinks];
  void* threads[kMostLinks];
  int count;
};
void StartLinks(const IntegrationSettings* settings, char* groupPathOut, LinkWork* work);
void FinishLinks(LinkWork* work);

bool CreateShellLink(const char* target, const char* linkFile, const char* description);
bool GetDesktopFolder(char* path, int size);
// `path` must have room for one more byte after its terminator (the shell wants a double NUL).
bool DeleteFolderTree(char* path, int size);

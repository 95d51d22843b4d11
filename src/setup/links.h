// Shell links to the archiver: desktop, start menu and the program group (also for all users on
// the NT family).
#pragma once
#include <stddef.h>
#include <windows.h>

#include "platform/paths.h"
#include "setup/settings.h"

// Makes or removes each place as its flag says; when the program group is made and `groupFolder`
// (of `size` bytes) is not null, it receives the current user's group folder.
void ApplyLinks(const IntegrationSettings* settings, char* groupFolder, size_t size);

// The links being saved, one thread each, so that other work runs meanwhile: saving costs the shell
// more waiting than work. The jobs live here and the threads read them, so Finish, and the
// destructor on any way out, waits for every thread before the jobs go.
class LinkWork {
 public:
  static const int kMostLinks = 8;  // desktop, start menu, and three in each of two groups
  struct Job {
    char target[kPathSize];
    char link[kPathSize];
  };

  // `here`: the links are saved one after another on the calling thread, under one COM apartment.
  explicit LinkWork(bool here = false) : here_(here) {}
  ~LinkWork() { Finish(); }
  LinkWork(const LinkWork&) = delete;
  LinkWork& operator=(const LinkWork&) = delete;

  Job* NewJob();  // null when all are taken
  // Starts a thread for each job; a job that gets no thread is saved at once. `here`: saves them all
  // before it returns.
  void Start();
  // Returns once every link is written.
  void Finish();

 private:
  Job jobs_[kMostLinks];
  HANDLE threads_[kMostLinks] = {};
  int count_ = 0;
  bool here_ = false;
};

// ApplyLinks in two halves: StartLinks removes what is not wanted, makes the group folders and
// starts saving the links; `work`'s Finish waits for them.
void StartLinks(const IntegrationSettings* settings, char* groupFolder, size_t size, LinkWork* work);

// The removal's part: every place emptied, except a link that starts another installation's file
// (platform/installations) and a program group holding one, which stay. True when one stayed.
bool RemoveLinks();

bool CreateShellLink(const char* target, const char* linkFile, const char* description);
// The path a link starts (`size` at least MAX_PATH); false when it cannot be read or names none.
bool ReadShellLinkTarget(const char* linkFile, char* target, size_t size);
bool GetDesktopFolder(char* path, size_t size);

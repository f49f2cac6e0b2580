// Ids of the MESSAGES language texts (resources/lang/MESSAGES.CFG) that
// several parts of the program show. A message only one file shows keeps
// its kMsg name beside its user; one that more files show is named here,
// once.
#pragma once

enum MessageId : int {
  kMsgProgramCaption = 106,  // the program's name, the caption of its boxes
  kMsgLogonCaption = 165,
  kMsgErrorCaption = 284,
  // A table row of the user administration, the port setup or the jobs
  // could not be written.
  kMsgNotStored = 1967,
  // A row of the logs (log types, change criteria, version log, system log)
  // could not be written.
  kMsgLogNotStored = 1970,
};

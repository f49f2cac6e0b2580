// Network drives of the database profiles. There is no network redirector
// here: a share "\\SERVER\SHARE" is the directory net/SERVER/SHARE under the
// layer's base directory (names matched in any letter case), and connecting
// a drive letter points that letter of the drive table at it. A share whose
// directory is missing or not writable refuses the connection. The user
// name and password of a retry are accepted and not used.
#pragma once

#include <string>
#include <vector>

// Results as the connection calls of the original system return them.
constexpr int kNetOk = 0;
constexpr int kNetAccessDenied = 5;
constexpr int kNetBadNetName = 67;
constexpr int kNetAlreadyAssigned = 85;
constexpr int kNetNotConnected = 2250;

// Every share there is ("\\SERVER\SHARE"), sorted.
std::vector<std::string> NetShares();
// The native directory of a share; empty when it does not exist.
std::string NetShareDirectory(const std::string& server, const std::string& share);
// The remote name ("\\SERVER\SHARE") a drive ("X:") is connected to.
int NetGetConnection(const std::string& local, std::string& remote);
// Disconnects the drive: its letter gets its default directory back.
int NetCancelConnection(const std::string& local);
// Connects the drive to the remote name; kNetAlreadyAssigned when it is
// connected there already.
int NetAddConnection(const std::string& local, const std::string& remote, const char* user,
                     const char* password);

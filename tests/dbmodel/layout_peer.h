// What an independent reader (python3-dbfread) sees of a data file: its
// fields as "NAME:T:LEN" and its row count, for checking the layouts we
// write against a reader that is not ours.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "db_fixture.h"

namespace kvdb {

// What a python3 script (written as scratchDir/name) prints for a data
// file given as its argument, error output included; none when it could
// not be started.
inline std::optional<std::string> RunPeerScript(const std::string& scratchDir, const std::string& name,
                                                const std::string& script, const std::string& path) {
  WriteFileBytes(scratchDir + "/" + name, script);
  FILE* p = popen(("/usr/bin/python3 " + scratchDir + "/" + name + " '" + path + "' 2>&1").c_str(), "r");
  if (!p) return std::nullopt;
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// "NAME:T:LEN ... | rows" as the peer reads the file; empty when it fails.
inline std::string PeerLayout(const std::string& scratchDir, const std::string& path) {
  std::string script =
      "import dbfread,sys\n"
      "t=dbfread.DBF(sys.argv[1],load=True)\n"
      "print(' '.join('%s:%s:%d'%(f.name,f.type,f.length) for f in t.fields),'|',len(t.records))\n";
  std::string out = RunPeerScript(scratchDir, "peer_layout.py", script, path).value_or("");
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// The expected peer text of a layout.
inline std::string LayoutText(const std::vector<DbFieldInfo>& fields, long rows) {
  std::string s;
  for (const auto& f : fields) {
    if (!s.empty()) s += ' ';
    s += std::string(f.name) + ":" + static_cast<char>(f.type) + ":" + std::to_string(f.len);
  }
  return s + " | " + std::to_string(rows);
}

}  // namespace kvdb

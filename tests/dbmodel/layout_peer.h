// What an independent reader (python3-dbfread) sees of a data file: its
// fields as "NAME:T:LEN" and its row count, for checking the layouts we
// write against a reader that is not ours.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

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

// Every row of a file as python3-dbfread reads it, one text a row:
// "FIELD=value" texts in field order; with withDeleted, the deleted rows
// (dbfread lists them apart) follow, each behind "* ".
inline std::vector<std::string> PeerRows(const std::string& scratchDir, const std::string& path,
                                         bool withDeleted = true) {
  std::string script =
      "import dbfread,sys\n"
      "t=dbfread.DBF(sys.argv[1],load=True)\n"
      "for r in t.records: print(' '.join('%s=%s'%(k,v) for k,v in r.items()))\n";
  if (withDeleted) script += "for r in t.deleted: print('* '+' '.join('%s=%s'%(k,v) for k,v in r.items()))\n";
  std::string out = RunPeerScript(scratchDir, "peer_rows.py", script, path).value_or("peer failed");
  std::vector<std::string> rows;
  size_t start = 0;
  for (size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1)
    rows.push_back(out.substr(start, nl - start));
  if (withDeleted && start < out.size()) rows.push_back(out.substr(start));
  return rows;
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

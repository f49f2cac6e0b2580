// Whole-file helpers of the editor's file commands: joining and inserting
// one text into another through the window's scratch files. Each reports
// a failure with the path and the reason, and writes its output beside the
// target first, so a failure leaves the old output file as it was.
#pragma once

#include <string>

struct TFileError {
  std::string Path;
  std::string Reason;
  bool Reading = false;  // the failure was a file that could not be read
};

bool ReadWholeFile(const std::string& path, std::string& bytes, TFileError& error);
// Writes beside the file and renames when complete.
bool WriteWholeFile(const std::string& path, const std::string& bytes, TFileError& error);

// Appends the whole source to the end of target (created when missing).
bool AppendFileToText(const std::string& target, const std::string& source, TFileError& error);
// Writes output as the text's lines before `line` (from 1), then the whole
// insert file, then the rest of the text. A text with fewer lines is
// copied unchanged.
bool InsertFileAtLine(const std::string& output, const std::string& text, const std::string& insert, long line,
                      TFileError& error);
// Writes output as the first file followed by the second.
bool JoinFiles(const std::string& output, const std::string& first, const std::string& second, TFileError& error);

// Job send files: a job file lists the programs of a job ("#" lines name
// files whose contents are sent whole, ";" lines are comments, any other
// line is sent as it stands); the port sends the one file built from it.
#pragma once

#include <string>

class TDncPort;

// The path of the port's send file "PORT%04d.DSF" in the directory for
// temporary files, built from the job file; empty when the job file cannot
// be read or the send file cannot be written.
std::string BuildJobSendFile(TDncPort* port, const char* jobFileName);

#pragma once
// How every subcommand reports a failed run.

namespace nuvak::cli {

// Called inside a catch block: writes the message of the error being handled to standard
// error as "nuvak-cli: <message>" (a file error names its file) and returns exit status 1.
int ReportRunFailure();

}  // namespace nuvak::cli

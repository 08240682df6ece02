#pragma once
// Every text the program shows or writes, in one place.

namespace nuvak::msg {

// File access.
inline constexpr char kIsFolder[] = "is a folder, not a file";
inline constexpr char kCannotOpen[] = "cannot open the file: ";
inline constexpr char kReadFailed[] = "reading failed: ";
inline constexpr char kTruncated[] = "the file ends before all its data";
inline constexpr char kCannotWrite[] = "cannot write the file: ";
inline constexpr char kUnknownReason[] = "unknown reason";

// Diagnostics of the readers, written to the caller's diagnostic stream.
inline constexpr char kAllocError[] = "Alloc Error  !!\n";

// FITS reading.
// (FITS messages)

// Netpbm entry reading.
// (Netpbm messages)

// JPEG and BMP files.
// (JPEG and BMP messages)

}  // namespace nuvak::msg

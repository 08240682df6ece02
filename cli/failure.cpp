#include "cli/failure.h"

#include <exception>
#include <iostream>
#include <new>

#include "core/format.h"
#include "resources/messages.h"

namespace nuvak::cli {

int ReportRunFailure() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        std::cerr << "nuvak-cli: " << msg::kOutOfMemory << "\n";
    } catch (const std::exception& e) {
        std::cerr << "nuvak-cli: " << e.what() << "\n";
    } catch (...) {
        std::cerr << "nuvak-cli: " << msg::kUnknownError << "\n";
    }
    return 1;
}

std::optional<DisplayFormat> PictureFormatOf(const std::string& out) {
    const std::string ext = LowerExtension(out);
    if (ext == ".bmp") return DisplayFormat::Bmp;
    if (ext == ".jpg" || ext == ".jpeg") return DisplayFormat::Jpeg;
    return std::nullopt;
}

}  // namespace nuvak::cli

#include "core/image_files.h"

#include "core/bmp.h"
#include "core/fileio.h"
#include "core/format.h"
#include "core/jpeg.h"

namespace nuvak {

OpenedDocument OpenImageFile(const std::string& path, FileKind kind, std::ostream* diag) {
    OpenedDocument out;
    switch (kind) {
        case FileKind::Bmp: out.document = DocumentFromColourRaster(LoadBmp(path), path, FileKind::Bmp); break;
        case FileKind::Fits: {
            OpenedFits f = OpenFitsPicture(path, diag);
            out.document = std::move(f.document);
            out.cards = f.cards;
            out.bzero = f.bzero;
            out.conversion = f.conversion;
            break;
        }
        case FileKind::Jpeg: out.document = OpenJpegDocument(path); break;
        case FileKind::Pgm: out.document = OpenPgmDocument(path, diag); break;
    }
    return out;
}

std::string DisplayFileName(const std::string& chosen, DisplayFormat format) {
    return ChangeFileExt(chosen, format == DisplayFormat::Bmp ? ".bmp" : ".jpg");
}

void WriteDisplay(const ImageDocument& document, const std::string& path, DisplayFormat format) {
    const std::vector<std::uint8_t> bytes =
        format == DisplayFormat::Bmp ? EncodeBmp(document.Image) : EncodeJpeg(document.Image, 70);
    WriteFileAtomically(path, bytes);
}

}  // namespace nuvak

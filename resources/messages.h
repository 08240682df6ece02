#pragma once
// Every text the program shows or writes, in one place.

namespace nuvak::msg {

// File access.
inline constexpr char kIsFolder[] = "is a folder, not a file";
inline constexpr char kCannotOpen[] = "cannot open the file: {}";
inline constexpr char kReadFailed[] = "reading failed: {}";
inline constexpr char kTruncated[] = "the file ends before all its data";
inline constexpr char kCannotWrite[] = "cannot write the file: {}";
inline constexpr char kUnknownReason[] = "unknown reason";

// Diagnostics of the readers, written to the caller's diagnostic stream.
inline constexpr char kAllocError[] = "Alloc Error  !!\n";

// FITS reading.
inline constexpr char kFitsShorterThanBlock[] = "not a FITS file: shorter than one 2880-byte header block";
inline constexpr char kFitsNoEnd[] = "not a FITS file: no END card ends the header";
inline constexpr char kFitsNotFits[] = "not a FITS file: the first header card is not text";
inline constexpr char kFitsNoSize[] = "the header has no NAXIS1 and NAXIS2 cards: it describes no image";
inline constexpr char kFitsEmptySize[] = "the header describes no image: NAXIS1 x NAXIS2 = {} x {}";
inline constexpr char kFitsTooLarge[] = "{} x {} pixels: a side is over {} pixels";
inline constexpr char kFitsBitpix[] = "BITPIX = {}: only 16-bit integer samples (BITPIX = 16) can be read";
inline constexpr char kFitsNotWhole[] = "{} value is not a whole number: '{}'";
inline constexpr char kFitsValueTooLarge[] = "{} value is too large: '{}'";
inline constexpr char kFitsBzeroNotNumber[] = "BZERO value is not a number: '{}'";
inline constexpr char kFitsBzeroRange[] = "BZERO value is not a 32-bit integer: '{}'";
inline constexpr char kFitsTruncated[] = "file truncated: {} of {} sample bytes";
inline constexpr char kFitsNoMemory[] = "not enough memory for the image";

// Opening a FITS image as a document.
inline constexpr char kOpenGridEmpty[] = "too small to compute display levels (a side of 20 pixels or less): {} x {}";
inline constexpr char kOpenFlat[] = "no display levels: the sampled pixels are all equal, upper and lower level {}";
inline constexpr char kOpenLevelsRange[] = "no display levels: the sample values are out of range";

// Netpbm entry reading.
// "{}" marks where a number or word is put in, in order.
inline constexpr char kPgmNoMagic[] = "no magic word at the start of the file";
inline constexpr char kPgmBitmapText[] = "a black-and-white bitmap in text form (P1): not supported";
inline constexpr char kPgmBitmapBinary[] = "a black-and-white bitmap (P4): not supported";
inline constexpr char kPgmGreyText[] = "a grey image in text form (P2): not supported, only binary files are read";
inline constexpr char kPgmColourText[] = "a colour image in text form (P3): not supported, only binary files are read";
inline constexpr char kPgmTaggedHeader[] = "a Netpbm file with a tagged header (P7): not supported";
inline constexpr char kPgmHeaderTooLong[] = "the header is longer than {} bytes";
inline constexpr char kPgmWordTooLong[] = "a header word is longer than {} bytes";
inline constexpr char kPgmWidth[] = "width";
inline constexpr char kPgmHeight[] = "height";
inline constexpr char kPgmMaxValue[] = "maximum value";
inline constexpr char kPgmMissing[] = "the header ends before the {}";
inline constexpr char kPgmNotNumber[] = "the {} \"{}\" is not a number";
inline constexpr char kPgmSizeTooSmall[] = "the {} {} is not a size: it must be at least 1";
inline constexpr char kPgmSizeTooLarge[] = "the {} {} is over the limit of {}";
inline constexpr char kPgmMaxValueNegative[] = "the maximum value {} is negative";
inline constexpr char kPgmMaxValueTooLarge[] = "the maximum value {} is above {}: two bytes per sample are not supported";
inline constexpr char kPgmTruncated[] = "truncated: {} of {} sample bytes";
inline constexpr char kPgmNoMemory[] = "not enough memory for a {} x {} image";

// JPEG and BMP files.
inline constexpr char kJpegEmpty[] = "the file is empty, not a JPEG image";
inline constexpr char kJpegUnreadable[] = "cannot be read as a JPEG image: ";
inline constexpr char kJpegDamaged[] = "the JPEG image data is damaged or cut short: ";
inline constexpr char kJpegCmyk[] = "a CMYK JPEG image: not supported, only grey and colour (RGB) JPEG images are read";
inline constexpr char kJpegTooLarge[] = "the JPEG image is larger than 65500 pixels on a side";
inline constexpr char kJpegNoMemory[] = "not enough memory for the image of this size";
inline constexpr char kJpegNothingToEncode[] = "cannot save an empty picture as JPEG";
inline constexpr char kJpegEncodeFailed[] = "JPEG encoding failed: ";
inline constexpr char kBmpEmpty[] = "the file is empty, not a BMP image";
inline constexpr char kBmpNoSignature[] = "not a BMP image: the file does not start with \"BM\"";
inline constexpr char kBmpHeaderCut[] = "the file ends inside the BMP header";
// "{}" marks where a number is put in, in order.
inline constexpr char kBmpTruncated[] = "truncated: {} of {} pixel bytes";
inline constexpr char kBmpRunsCut[] = "truncated: the run-length data ends after {} of {} rows";
inline constexpr char kBmpTooLarge[] = "the BMP image of {} x {} pixels needs {} MB, over the reader's limit of {} MB";
inline constexpr char kBmpUnreadable[] = "cannot be read as a BMP image: ";
inline constexpr char kBmpNoMemory[] = "not enough memory for the image of this size";
inline constexpr char kBmpNothingToEncode[] = "cannot save an empty picture as BMP";
inline constexpr char kBmpEncodeFailed[] = "BMP encoding failed: ";

// Messages of the windows (UTF-8).
inline constexpr char kOverwriteQuestion[] = "ファイルがすでに存在しています。　上書きしますか？";
inline constexpr char kVersion[] = "Nuvak  ver. 3.01b\n\n追尾精度の計測と天体画像の表示のためのプログラム";
inline constexpr char kOutOfMemory[] = "メモリが不足しています。";
inline constexpr char kUnknownError[] = "Unknown error";
inline constexpr char kGammaRange[] = "整数を入力してください";
inline constexpr char kBlurRange[] = "正の数字を入力してください";
inline constexpr char kEdgeRange[] = "1.0-5.0の数字を入力してください";

// Tracking measurement (UTF-8).
inline constexpr char kTrackTooLarge[] = "画像が大きすぎます。\n4000x4000ピクセル以下の画像をお使いください。";
inline constexpr char kTrackSizeDiffers[] = "画像のサイズが違うので、処理を中断します。";
inline constexpr char kTrackPsfZero[] = "PSFの体積がゼロになったので処理を中断します。";
inline constexpr char kTrackFocalRange[] = "焦点距離を正しく入力してください。";
inline constexpr char kTrackPixelRange[] = "画素サイズを正しく入力してください。";
inline constexpr char kTrackIntervalRange[] = "時間間隔を正しく入力してください。";
inline constexpr char kTrackTwoOrMore[] = "ファイル数は２つ以上必要です";
inline constexpr char kTrackAtMost200[] = "ファイル数は200個以下にしてください";
inline constexpr char kTrackListFiles[] = "ファイルをリストアップしてください。";
inline constexpr char kTrackPickStar[] = "恒星を指定してください。";
inline constexpr char kTrackStarting[] = "計測開始します。";
inline constexpr char kTrackStarQuestion[] = "X = {}, Y = {} を指定しました。　よろしいですか？";
inline constexpr char kTrackMeasureFirst[] = "計測処理を行ってください。";
inline constexpr char kTrackPsfRadiusRange[] = "PSF半径には1～50間の数字を入力してください。";
inline constexpr char kTrackMultiplierRange[] = "膨張係数には0.001～3.000間の数値を入力してください。";

}  // namespace nuvak::msg

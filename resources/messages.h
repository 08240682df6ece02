#pragma once
// Every text the program shows or writes, in one place, as UTF-8. A "{}" marks where
// FillMessage puts in a value; the values go in the order the caller gives them.

namespace nuvak::msg {

// File access.
inline constexpr char kIsFolder[] = "ファイルではなくフォルダです。";
inline constexpr char kCannotOpen[] = "ファイルを開けません: {}";
inline constexpr char kReadFailed[] = "ファイルの読み込みに失敗しました: {}";
inline constexpr char kTruncated[] = "データの途中でファイルが終わっています。";
inline constexpr char kCannotWrite[] = "ファイルに書き込めません: {}";
inline constexpr char kUnknownReason[] = "原因不明";
inline constexpr char kCannotCreateFolder[] = "フォルダを作成できません: {}";
// Causes of the commonest system failures; other causes keep the system's own text.
inline constexpr char kReasonNotFound[] = "ファイルまたはフォルダが見つかりません";
inline constexpr char kReasonDenied[] = "アクセスが拒否されました";
inline constexpr char kReasonNotFolder[] = "パスの途中にフォルダではないものがあります";
inline constexpr char kReasonNameTooLong[] = "パス名が長すぎます";
inline constexpr char kReasonNoSpace[] = "ディスクの空き容量が不足しています";
inline constexpr char kReasonReadOnly[] = "書き込みが禁止された場所です";
inline constexpr char kReasonTooManyFiles[] = "開いているファイルが多すぎます";
inline constexpr char kReasonIo[] = "入出力エラーが発生しました";

// Text that does not parse as the number a command needs.
inline constexpr char kNotInteger[] = "「{}」は正しい整数値ではありません。";
inline constexpr char kNotReal[] = "「{}」は正しい数値ではありません。";

// Diagnostics of the readers, written to the caller's diagnostic stream.
inline constexpr char kAllocError[] = "Alloc Error  !!\n";

// FITS reading.
inline constexpr char kFitsShorterThanBlock[] = "FITSファイルではありません: ヘッダブロック1つ分（2880バイト）に足りません。";
inline constexpr char kFitsNoEnd[] = "FITSファイルではありません: ヘッダを終えるENDカードがありません。";
inline constexpr char kFitsNotFits[] = "FITSファイルではありません: 最初のヘッダカードがテキストではありません。";
inline constexpr char kFitsNoSize[] = "ヘッダにNAXIS1とNAXIS2のカードがなく、画像が記述されていません。";
inline constexpr char kFitsEmptySize[] = "ヘッダに画像が記述されていません: NAXIS1 x NAXIS2 = {} x {}";
inline constexpr char kFitsTooLarge[] = "画像が大きすぎます: {} x {} ピクセルで、一辺が {} ピクセルを超えています。";
inline constexpr char kFitsBitpix[] = "BITPIX = {} の画像は読み込めません。読み込めるのは16ビット整数のデータ（BITPIX = 16）だけです。";
inline constexpr char kFitsNotWhole[] = "{} の値が整数ではありません: 「{}」";
inline constexpr char kFitsValueTooLarge[] = "{} の値が大きすぎます: 「{}」";
inline constexpr char kFitsBzeroNotNumber[] = "BZERO の値が数値ではありません: 「{}」";
inline constexpr char kFitsBzeroRange[] = "BZERO の値が32ビット整数の範囲を超えています: 「{}」";
inline constexpr char kFitsTruncated[] = "ファイルが途中で切れています: 画素データが {} バイトしかありません（{} バイト必要です）。";
inline constexpr char kFitsNoMemory[] = "画像を読み込むためのメモリが不足しています。";
inline constexpr char kFitsNoSimple[] = "FITSファイルではありません: 最初のカードが SIMPLE = T ではありません。";
// Layouts read through the general FITS library: what its common failures mean to the user.
inline constexpr char kFitsLibCannotOpen[] = "FITSファイルとして開けません。";
inline constexpr char kFitsLibTruncated[] = "ファイルが途中で切れています: ヘッダまたは画素データが足りません。";
inline constexpr char kFitsLibDecompress[] = "圧縮された画像を展開できません: 圧縮データが壊れています。";
inline constexpr char kFitsLibNoImage[] = "2軸以上の画像がファイルのどこにもありません。";
inline constexpr char kFitsLibBadSize[] = "画像の次元または大きさの記述が正しくありません。";
inline constexpr char kFitsLibBadHeader[] = "ヘッダが壊れているか、FITSの規則に合っていません。";
inline constexpr char kFitsLibOther[] = "FITSの読み込みに失敗しました（エラー番号 {}）。";
// Why the FITS library could not write a file (its error number), after kCannotWrite.
inline constexpr char kFitsLibWriteFailed[] = "FITSライブラリが書き込みに失敗しました（エラー番号 {}）";
// Standard output: a cube of which only the first plane is used.
inline constexpr char kFitsFirstPlane[] = "{}: 画像が {} 面あります。最初の面だけを使います。";

// Opening a FITS image as a document.
inline constexpr char kOpenGridEmpty[] = "画像が小さすぎて表示レベルを計算できません（一辺が20ピクセル以下）: {} x {}";
inline constexpr char kOpenFlat[] = "表示レベルを決められません: 抽出した画素の値がすべて同じで、上限と下限がどちらも {} になります。";
inline constexpr char kOpenLevelsRange[] = "表示レベルを決められません: 画素の値が範囲外です。";

// Rendering a 16-bit image through its display levels.
inline constexpr char kDisplayPlanesDiffer[] = "上位バイトと下位バイトの画像の大きさが違います。";
inline constexpr char kDisplayLevelsEqual[] = "表示レベルの上限と下限が同じ値なので、表示できません。";

// Netpbm entry reading.
// "{}" marks where a number or word is put in, in order.
inline constexpr char kPgmNoMagic[] = "ファイルの先頭に形式を示す識別子（マジックナンバー）がありません。";
inline constexpr char kPgmBitmapText[] = "テキスト形式の白黒ビットマップ（P1）には対応していません。";
inline constexpr char kPgmBitmapBinary[] = "白黒ビットマップ（P4）には対応していません。";
inline constexpr char kPgmGreyText[] = "テキスト形式のグレー画像（P2）には対応していません。読み込めるのはバイナリ形式のファイルだけです。";
inline constexpr char kPgmColourText[] = "テキスト形式のカラー画像（P3）には対応していません。読み込めるのはバイナリ形式のファイルだけです。";
inline constexpr char kPgmTaggedHeader[] = "タグ付きヘッダのNetpbmファイル（P7）には対応していません。";
inline constexpr char kPgmHeaderTooLong[] = "ヘッダが {} バイトを超えています。";
inline constexpr char kPgmWordTooLong[] = "ヘッダ内の項目が {} バイトを超えています。";
inline constexpr char kPgmWidth[] = "幅";
inline constexpr char kPgmHeight[] = "高さ";
inline constexpr char kPgmMaxValue[] = "最大値";
inline constexpr char kPgmMissing[] = "ヘッダが{}の前で終わっています。";
inline constexpr char kPgmNotNumber[] = "{}の値「{}」が数値ではありません。";
inline constexpr char kPgmSizeTooSmall[] = "{}の値 {} は大きさとして正しくありません。1以上でなければなりません。";
inline constexpr char kPgmSizeTooLarge[] = "{}の値 {} が上限の {} を超えています。";
inline constexpr char kPgmMaxValueNegative[] = "最大値 {} が負の数です。";
inline constexpr char kPgmMaxValueTooLarge[] = "最大値 {} が {} を超えています。1サンプルあたり2バイトのデータには対応していません。";
inline constexpr char kPgmTruncated[] = "ファイルが途中で切れています: 画素データが {} バイトしかありません（{} バイト必要です）。";
inline constexpr char kPgmNoMemory[] = "{} x {} の画像を読み込むためのメモリが不足しています。";

// JPEG and BMP files.
inline constexpr char kJpegEmpty[] = "ファイルが空です。JPEG画像ではありません。";
// A refusal from the JPEG library: one of the two leads, then the reason where it is known.
inline constexpr char kJpegUnreadable[] = "JPEG画像として読み込めません。";
inline constexpr char kJpegDamaged[] = "JPEG画像のデータが壊れているか、途中で切れています。";
inline constexpr char kJpegCmyk[] = "CMYKのJPEG画像には対応していません。読み込めるのはグレーとカラー（RGB）のJPEG画像だけです。";
inline constexpr char kJpegTooLarge[] = "JPEG画像が大きすぎます。一辺が65500ピクセルを超えています。";
inline constexpr char kJpegNoMemory[] = "この大きさの画像を読み込むためのメモリが不足しています。";
inline constexpr char kJpegNothingToEncode[] = "空の画像はJPEGで保存できません。";
inline constexpr char kJpegEncodeFailed[] = "JPEG形式での書き出しに失敗しました。";
inline constexpr char kBmpEmpty[] = "ファイルが空です。BMP画像ではありません。";
inline constexpr char kBmpNoSignature[] = "BMP画像ではありません: ファイルが \"BM\" で始まっていません。";
inline constexpr char kBmpHeaderCut[] = "BMPヘッダの途中でファイルが終わっています。";
// "{}" marks where a number is put in, in order.
inline constexpr char kBmpTruncated[] = "ファイルが途中で切れています: 画素データが {} バイトしかありません（{} バイト必要です）。";
inline constexpr char kBmpRunsCut[] = "ファイルが途中で切れています: ランレングスデータが {} 行分で終わっています（全 {} 行）。";
inline constexpr char kBmpTooLarge[] = "{} x {} ピクセルのBMP画像には {} MB が必要で、読み込みの上限 {} MB を超えています。";
inline constexpr char kBmpUnreadable[] = "BMP画像として読み込めません: ";
// The reasons that follow kBmpUnreadable and kBmpEncodeFailed.
inline constexpr char kBmpNoImageData[] = "画像データを読み込めません";
inline constexpr char kBmpWriterFailed[] = "未知のエラー";
inline constexpr char kBmpNoMemory[] = "この大きさの画像を読み込むためのメモリが不足しています。";
inline constexpr char kBmpNothingToEncode[] = "空の画像はBMPで保存できません。";
inline constexpr char kBmpEncodeFailed[] = "BMP形式での書き出しに失敗しました: ";
inline constexpr char kJpegNoSoi[] = "JPEG画像ではありません: ファイルがJPEGの開始マーカー（FF D8）で始まっていません。";
inline constexpr char kJpegWhyCutShort[] = "ファイルが途中で終わっています。";
inline constexpr char kJpegWhyDataEnds[] = "圧縮データが途中で終わっています。";
inline constexpr char kJpegWhyExtraBytes[] = "圧縮データの間に余分なバイトがあります。";
inline constexpr char kJpegWhyBadCode[] = "圧縮データに正しくない符号があります。";
inline constexpr char kJpegWhyMarkers[] = "ファイルの構成（マーカーの並び）が壊れています。";
inline constexpr char kJpegWhyHeader[] = "ヘッダの記述（ハフマン表、量子化表、色成分、スキャン）が壊れています。";
inline constexpr char kJpegWhyUnsupported[] = "対応していない形式のJPEG画像です（算術符号化、ロスレス、12ビットなど）。";
inline constexpr char kJpegWhyNoMemory[] = "メモリが不足しています。";

// Text conversion for the results file.
inline constexpr char kNoCodePage932[] = "文字コードCP932（シフトJIS）への変換が使えません。";

// Messages of the windows (UTF-8).
inline constexpr char kOverwriteQuestion[] = "ファイルがすでに存在しています。　上書きしますか？";
inline constexpr char kVersion[] = "Nuvak  ver. 3.01b\n\n追尾精度の計測と天体画像の表示のためのプログラム";
inline constexpr char kOutOfMemory[] = "メモリが不足しています。";
inline constexpr char kUnknownError[] = "原因不明のエラーが発生しました。";
inline constexpr char kGammaRange[] = "整数を入力してください";
inline constexpr char kBlurRange[] = "正の数字を入力してください";
inline constexpr char kEdgeRange[] = "1.0-5.0の数字を入力してください";

// Tracking measurement (UTF-8).
inline constexpr char kTrackTooLarge[] = "画像が大きすぎます。\n4000x4000ピクセル以下の画像をお使いください。";
inline constexpr char kTrackSizeDiffers[] = "画像のサイズが違うので、処理を中断します。";
// A dark of another size than the frames (dark file, its width and height, the frame file,
// its width and height) or than the first dark (dark file and size, first dark and size).
inline constexpr char kTrackDarkSizeDiffers[] =
    "ダークフレーム「{}」の大きさ（{} × {}）が画像「{}」の大きさ（{} × {}）と違うので、処理を中断します。";
inline constexpr char kTrackDarksDiffer[] =
    "ダークフレーム「{}」の大きさ（{} × {}）がダークフレーム「{}」の大きさ（{} × {}）と違うので、処理を中断します。";
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
inline constexpr char kTrackReportWritten[] = "レポートを書き出しました: {}\nブラウザーで開けなかったので、このファイルを開いてください。";
// Why the tracking report left a frame out ("{}" marks where a value is put in).
inline constexpr char kReportLostNotFirstSize[] = "画像のサイズ {}x{} が最初のフレームの {}x{} と違います";
inline constexpr char kReportLostNotDarkSize[] = "画像のサイズ {}x{} がダークフレームの {}x{} と違います";
inline constexpr char kReportLostNoStar[] = "星が見つかりません";
inline constexpr char kReportLostJump[] = "星の位置が前後のフレームから飛んでいます";
inline constexpr char kReportLostAfterFlip[] = "子午線反転の後のフレームは、複数の星の計測に使っていません";
// The tracking report's warnings and the correction table's refusals ("{}" marks where a value is put in).
inline constexpr char kReportExposureUnknown[] = "フレームに露出時間（EXPTIME・EXPOSURE）がないため、露出中の星の動きで小さく見える周期誤差の振幅を補正していません";
inline constexpr char kReportSmearTooLong[] = "露出時間 {} 秒が周期誤差の周期 {} 秒の0.6倍を超えるため、露出中の星の動きで小さく見える振幅を補正できません";
inline constexpr char kReportCadenceTooSlow[] = "撮影間隔 {} 秒が周期誤差の周期 {} 秒の半分を超える（1周期に2フレーム未満）ため、振幅を補正できません";
inline constexpr char kReportNoWormPeriod[] = "ウォーム周期の指定も有意な周期誤差もないため、ウォームの1周期に折り返した曲線は求めていません";
inline constexpr char kReportFoldTooFew[] = "ウォームの1周期に折り返した曲線を当てはめるにはフレームが足りません";
inline constexpr char kReportHarmonicCoverage[] = "ウォームの第{}高調波は、折り返したフレームの位相にその周期の半分以上の隙間があるため、当てはめていません";
inline constexpr char kReportHarmonicSmear[] = "ウォームの第{}高調波は、露出時間がその周期の0.6倍を超えるため、当てはめていません";
inline constexpr char kReportStarsFlip[] = "複数の星は、最初のフレームで選んだ位置から最初の子午線反転の前まで追いました。フレーム {} から後（反転の後）は除いています";
inline constexpr char kFieldTooFewStars[] = "{}: 明るく孤立した、飽和していない星が {} 個しか見つかりません（3個以上必要です）";
inline constexpr char kReportFocusDrift[] = "星像の幅（FWHM）が時間とともに {} ピクセル太くなっています（1時間あたり {} ピクセル）。ピントがずれていったようです";
inline constexpr char kReportPhaseRefNoDates[] = "フレームに日時がないため、指定した位相の基準時刻は使えません。最初のフレームの時刻を位相0としました";
inline constexpr char kPecNoCurve[] = "PEC表を書けません: ウォームの1周期に折り返した周期誤差の曲線がありません";
inline constexpr char kPecPhaseRefNoDates[] = "PEC表を書けません: フレームに日時がないため、--pec-phase-ref の時刻から位相を決められません";
inline constexpr char kPecNoDeclination[] = "PEC表を書けません: 赤緯が分かりません（--dec を指定するか、フレームに OBJCTDEC または DEC が必要です）";

// Tone operations (UTF-8).
inline constexpr char kToneGammaNotPositive[] = "γには0より大きい数値を入力してください。";
inline constexpr char kToneStepUnusable[] = "ステップ幅が0または0に近すぎるため、処理できません。";

// Star-image corrections and blooming removal (UTF-8). "{}" marks where a value is put in.
inline constexpr char kBloomingNoMemory[] = "ブルーミング除去に必要なメモリが不足しています。画像は変更されていません。";
inline constexpr char kComaNoMemory[] = "コマコレクト処理に必要なメモリが不足しています。画像は変更されていません。";
inline constexpr char kComaGammaNotPositive[] = "γの値 {} は0より大きくなければならないため、コマコレクト処理を行えません。";
inline constexpr char kGuideMissNoMemory[] = "ガイドミスキャンセラに必要なメモリが不足しています。画像は変更されていません。";
inline constexpr char kGuideMissBlurNotPositive[] = "ぼけ量 {} は0より大きくなければならないため、ガイドミスキャンセラを実行できません。";
inline constexpr char kGuideMissKernelCancels[] = "向き {} 度、流れ量 {} ピクセルでは補正カーネルの重みが打ち消し合うため、ガイドミスキャンセラを実行できません。";
// A flow whose kernel does not fit in the picture: the flow, the kernel's side (twice), then
// the picture's width and height.
inline constexpr char kGuideMissKernelTooLarge[] =
    "流れ量 {} ピクセルの補正カーネル（{} × {}）が画像（{} × {}）より大きいため、ガイドミスキャンセラを実行できません。流れ量を小さくしてください。";

// Composite and mosaic (UTF-8).
// A listed image whose size is not that of the first one: caption, its width and height,
// then the width and height of the first image.
inline constexpr char kSizeDiffers[] =
    "画像「{}」の大きさ（{} × {}）が最初の画像の大きさ（{} × {}）と違うため、コンポジットできません。";
// A listed caption that no open image window has.
inline constexpr char kNoSuchImage[] = "画像「{}」が見つかりません。";
// A mosaic grid count of 0 or below: cells across, cells down.
inline constexpr char kMosaicCountNotPositive[] =
    "モザイクの行数と列数には1以上の整数を入力してください（{} × {}）。";

// Spectrum data file (UTF-8): the folder that is missing; it is not created.
inline constexpr char kSpectrumNoFolder[] = "保存先のフォルダ {} がないため、データファイルを書き込めません。";

// RGB separation (UTF-8).
inline constexpr char kSeparateNeedsColour[] = "RGB分解はカラー画像（BMPまたはJPEG）にのみ行えます。";

// RGB composite project file (UTF-8). Each message starts with the file name; then come the
// item that could not be read and, where given, the text found in its place.
inline constexpr char kProjectNotProjectFile[] =
    "{}: RGBコンポジットのプロジェクトファイルではありません（先頭が「MORVEL-2 File Data of RGB composite」ではありません）。";
inline constexpr char kProjectCutShort[] = "{}: ファイルが途中で終わっているため、{}を読み込めません。";
inline constexpr char kProjectNotInteger[] = "{}: {}を読み込めません。「{}」は32ビットの整数ではありません。";
inline constexpr char kProjectNotReal[] = "{}: {}を読み込めません。「{}」は数値ではありません。";
inline constexpr char kProjectNegativeCount[] = "{}: {}が負の数（{}）です。";
inline constexpr char kProjectEmptyPath[] = "{}: {}が空行です。";
// The items: a list name (red, green, blue, dark, flat) goes into the first two.
inline constexpr const char* kProjectListNames[] = {"赤", "緑", "青", "ダーク", "フラット"};
inline constexpr char kProjectCount[] = "{}のファイル数";
inline constexpr char kProjectPath[] = "{}のファイルの{}番目のパス";
inline constexpr char kProjectLabel[] = "ラベル「{}」";
inline constexpr char kProjectStarMode[] = "基準星のモード";
inline constexpr char kProjectStarPosition[] = "基準星の座標と探索範囲";
inline constexpr char kProjectDetect[] = "ピーク検出の方式";
inline constexpr char kProjectBackground[] = "背景の座標とレベル";
inline constexpr char kProjectWhiteBalance[] = "ホワイトバランス";
inline constexpr char kProjectBlooming[] = "ブルーミング除去の設定";
inline constexpr char kProjectTurn[] = "180度回転の設定";
inline constexpr char kProjectSlope[] = "背景傾斜補正の設定";
// The command line's composite of a project whose red, green or blue list is empty.
inline constexpr char kProjectNoColourFrames[] = "{}: 赤・緑・青のファイルがそろっていないため、RGBコンポジットを行えません。";

// RGB composite run (UTF-8).
// Shown once when a dark does not have the size of the first green frame; the run goes on.
inline constexpr char kCompositeResolutionError[] = "Resolution Error !!";
// A light frame or the flat of another size, the run's one message for it: file, its width
// and height, then the width and height of the first green frame.
inline constexpr char kCompositeSizeDiffers[] =
    "フレーム「{}」の大きさ（{} × {}）が最初の緑のフレームの大きさ（{} × {}）と違うため、RGB合成を中止しました。";
// A list longer than the run takes: list name, its count, the limit.
inline constexpr char kCompositeTooManyFrames[] = "{}のフレームが{}枚あります。RGB合成で使えるのは{}枚までです。";
// A white-balance factor of 0: its name (R, G or B).
inline constexpr char kCompositeZeroFactor[] = "ホワイトバランスの{}が0のため、RGB合成を実行できません。";
// Star searches: file, star number (1 or 2), x, y and the search half-width.
inline constexpr char kCompositeNoStar[] =
    "フレーム「{}」の基準星{}の探索範囲（({}, {}) の周囲 {} ピクセル）に0より明るい画素がないため、RGB合成を中止しました。";
inline constexpr char kCompositeNoCentroid[] =
    "フレーム「{}」の基準星{}の周囲の明るさの合計が0のため重心を求められず、RGB合成を中止しました。";
// The two reference stars of a frame (file) have the same centroid x, or the same centroid.
inline constexpr char kCompositeSameStarX[] =
    "フレーム「{}」の２つの基準星の重心のX座標が等しいため角度を求められず、RGB合成を中止しました。";
inline constexpr char kCompositeSameStar[] =
    "フレーム「{}」の２つの基準星の重心が一致するため倍率を求められず、RGB合成を中止しました。";
inline constexpr char kCompositeNoMemory[] = "メモリが足りないため、RGB合成を中止しました。";

}  // namespace nuvak::msg

#pragma once

#include <functional>
#include <string>
#include <vector>

namespace quorvane {

// Every text the engine and its front ends show the user, by id. Each has its exact Russian text, with
// "%1", "%2", ... where its arguments go, and an English one; the window shows the translation of the
// Russian text for the user's language (Qt Linguist, context "Engine"), the command line one of the two.
enum class MessageId {
    Plain,  // no text of its own: the words of the message as they stand (a path, a number, a library's words)
    Joined, // "%1: %2": a name and what happened to it, a reason and its detail

    // The Start command's messages.
    PhoneFileCannotOpen,
    PhoneFileMalformed,
    NoSource,
    NoReceiver,
    NoWidth,
    NoHeight,
    StartNumberNotDigits,
    TargetSizeOutOfRange, // the size typed (width×height), the largest side, the most pixels
    CheckFolder,          // the receiver folder
    ReceiverBusy,         // the receiver folder, into which another run writes
    UnexpectedError,

    // The report: its captions, and its last line when nothing went wrong or when the run was stopped.
    ReportTotal,
    ReportTotalOf, // the extensions counted, when formats beyond JPEG and BMP are on
    ReportProcessed,
    ReportSkipped,
    ReportSkippedFiles,
    ReportOpenReceiver,
    ReportOpenReceiverName,
    NoErrors,
    Interrupted, // how many counted pictures were not done

    // Why a picture was not loaded, one per load reason.
    LoadCannotOpen,
    LoadNotRegularFile,
    LoadEmptyFile,
    LoadReadFailed,
    LoadOutOfMemory,
    LoadCancelled,
    BmpSignature,
    BmpHeaderCut,
    BmpHeaderKind,
    BmpPlanes,
    BmpBitCount,
    BmpCompression,
    BmpBitMasks,
    BmpColorTable,
    LoadPictureSize,
    JpegNotJpeg,
    JpegHeader,
    JpegTables,
    JpegNoImage,
    JpegTablesOnly,
    JpegScans,
    JpegProcess,
    JpegColorSpace,
    JpegError,
    HeifNotHeif,
    HeifDamaged,
    HeifCutShort,
    HeifCodec,
    HeifNoImage,
    WebpNotWebp,
    WebpDamaged,
    WebpCutShort,
    WebpUnsupported,
    PngNotPng,
    PngDamaged,
    PngCutShort,
    LoadBitDepth,
    // Details of a load reason.
    JpegDamagedData,
    FileLargerThan, // the limit in MiB
    BitsPerSample,  // the number
    // A picture converted all the same.
    JpegCutShort,
    ColourProfileDamaged,
    ColourProfileRefused, // why
    ColourNotForPictures,
    ColourOtherSpace,
    ColourUnreadable,

    // What the system said: a file that cannot be opened,
    FaultNoReadPermission,
    FaultNoSuchFile,
    FaultLinkLoop,
    FaultPathTooLong,
    FaultTooManyOpenFiles,
    FaultInputOutput,
    FaultFileBusy,
    FaultOpenCode, // the system's error code
    // a file that cannot be written,
    FaultDiskFull,
    FaultQuotaExceeded,
    FaultNoWritePermission,
    FaultReadOnlyMedium,
    FaultFolderMissing,
    FaultNotIntoFolder,
    FaultFolderInPlace,
    FaultNameTooLong,
    FaultWriteCode, // the system's error code
    // a folder that cannot be listed.
    FaultFolderNoReadPermission,
    FaultNoSuchFolder,
    FaultNotAFolder,
    FaultFolderCode, // the system's error code

    // What the run says of a file or folder.
    OwnOutputNotRead,
    EncodeFailed,
    UnreadPhotoInPlace,
    NotWritten, // why
    FolderHiddenNotEntered,
    FolderLinkNotEntered,

    // The window's own words.
    ChooseFolderPrompt,
    StepUp,
    StepDown,

    // The crop preview.
    PreviewTitle,
    PreviewPictures,
    PreviewHint,
    PreviewStatus, // pictures listed, thumbnails made
    PreviewStretched,
    PreviewMoved, // the position
    PreviewSave,
    PreviewClose,
    PreviewSaveTitle,
    PreviewSaveFailed, // the file
    CropCentre,        // the crop box's items, and the tooltips of the last three
    CropStart,
    CropEnd,
    CropSmart,
    CropStartTip,
    CropEndTip,
    CropSmartTip,

    // The desktop program's words before its window opens.
    AppUsage,
    AppNoDisplay,
    AppUnknownOption,     // the option
    AppUserFolderRefused, // the folder, why

    // The command line's own words.
    CliUsage, // an example source and receiver folder in the system's path form
    CliUnexpectedArgument,
    CliTakesNoValue,
    CliUnknownOption,
    CliMissingValue,
    CliNumberRange,   // the option, its lowest and highest value
    CliUnknownFormat, // the name, the names known
    CliCropValue,
    CliCropFileUnreadable, // the file
    CliCropFileLine,       // the file, the line's number
    CliListedPart,         // left, top, width, height of the part kept, the picture's width and height
    CliSourceUnreadable,   // the folder, why
    CliReportNotWritten,
};
inline constexpr int MessageIdCount = static_cast<int>(MessageId::CliReportNotWritten) + 1;

// A text for the user: a message of the catalogue with its arguments in place of "%1", "%2", ...; each
// argument is a message too, most often Plain words.
struct Message {
    MessageId Id = MessageId::Plain;
    std::string Words;              // Plain only
    std::vector<Message> Arguments; // the others' "%1", "%2", ...

    Message() = default;
    Message(MessageId id) : Id(id) {} // NOLINT: a message without arguments reads as its id
    Message(MessageId id, std::string argument);
    Message(MessageId id, std::vector<Message> arguments) : Id(id), Arguments(std::move(arguments)) {}

    // Words as they stand.
    static Message Plain(std::string words);
    // "first: second".
    static Message Join(Message first, Message second);

    // No words at all.
    bool Empty() const { return Id == MessageId::Plain && Words.empty(); }

    bool operator==(const Message&) const = default;
};

enum class Language {
    Russian,
    English,
};

// Russian is read by readers of Russian, Ukrainian, Belarusian and Kazakh, and under the C and POSIX
// locales; everyone else reads English. The first of the preferred languages (most preferred first, as
// "en-US", "de_DE.UTF-8" or "C") that is Russian's or English decides; others only when none is, and
// then English; none preferred is Russian.
Language LanguageFor(const std::vector<std::string>& preferred);
// Whether a language code ("uk", "C", "posix"; letter case ignored) is one of Russian's.
bool ReadsRussian(const std::string& language);

// The text of a message in a language, with "%1", "%2", ... where its arguments go.
const char* MessageFormat(MessageId id, Language language = Language::Russian);

// The whole text, every argument in place, in a language.
std::string MessageText(const Message& message, Language language = Language::Russian);
// The same with the formats given by `format` (a translation of the Russian one).
std::string MessageText(const Message& message, const std::function<std::string(MessageId)>& format);

// The error box's text for an error that ends a run: a full stop is appended when the text's last
// character sorts after ".".
std::string ErrorBoxText(const std::string& text);

} // namespace quorvane

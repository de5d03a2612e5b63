#include "picture/LoadError.h"

namespace quorvane {

namespace {

MessageId IdOf(LoadReason reason)
{
    switch (reason) {
    case LoadReason::CannotOpen:
        return MessageId::LoadCannotOpen;
    case LoadReason::NotRegularFile:
        return MessageId::LoadNotRegularFile;
    case LoadReason::EmptyFile:
        return MessageId::LoadEmptyFile;
    case LoadReason::ReadFailed:
        return MessageId::LoadReadFailed;
    case LoadReason::OutOfMemory:
        return MessageId::LoadOutOfMemory;
    case LoadReason::Cancelled:
        return MessageId::LoadCancelled;
    case LoadReason::BmpSignature:
        return MessageId::BmpSignature;
    case LoadReason::BmpHeaderCut:
        return MessageId::BmpHeaderCut;
    case LoadReason::BmpHeaderKind:
        return MessageId::BmpHeaderKind;
    case LoadReason::BmpPlanes:
        return MessageId::BmpPlanes;
    case LoadReason::BmpBitCount:
        return MessageId::BmpBitCount;
    case LoadReason::BmpCompression:
        return MessageId::BmpCompression;
    case LoadReason::BmpBitMasks:
        return MessageId::BmpBitMasks;
    case LoadReason::BmpColorTable:
        return MessageId::BmpColorTable;
    case LoadReason::PictureSize:
        return MessageId::LoadPictureSize;
    case LoadReason::JpegNotJpeg:
        return MessageId::JpegNotJpeg;
    case LoadReason::JpegHeader:
        return MessageId::JpegHeader;
    case LoadReason::JpegTables:
        return MessageId::JpegTables;
    case LoadReason::JpegNoImage:
        return MessageId::JpegNoImage;
    case LoadReason::JpegTablesOnly:
        return MessageId::JpegTablesOnly;
    case LoadReason::JpegScans:
        return MessageId::JpegScans;
    case LoadReason::JpegProcess:
        return MessageId::JpegProcess;
    case LoadReason::JpegColorSpace:
        return MessageId::JpegColorSpace;
    case LoadReason::JpegError:
        return MessageId::JpegError;
    case LoadReason::HeifNotHeif:
        return MessageId::HeifNotHeif;
    case LoadReason::HeifDamaged:
        return MessageId::HeifDamaged;
    case LoadReason::HeifCutShort:
        return MessageId::HeifCutShort;
    case LoadReason::HeifCodec:
        return MessageId::HeifCodec;
    case LoadReason::HeifNoImage:
        return MessageId::HeifNoImage;
    case LoadReason::WebpNotWebp:
        return MessageId::WebpNotWebp;
    case LoadReason::WebpDamaged:
        return MessageId::WebpDamaged;
    case LoadReason::WebpCutShort:
        return MessageId::WebpCutShort;
    case LoadReason::WebpUnsupported:
        return MessageId::WebpUnsupported;
    case LoadReason::PngNotPng:
        return MessageId::PngNotPng;
    case LoadReason::PngDamaged:
        return MessageId::PngDamaged;
    case LoadReason::PngCutShort:
        return MessageId::PngCutShort;
    case LoadReason::BitDepth:
        return MessageId::LoadBitDepth;
    case LoadReason::None:
        break;
    }
    return MessageId::Plain; // no reason, or a value outside the enumeration
}

} // namespace

Message SizeText(int64_t width, int64_t height)
{
    return Message::Plain(std::to_string(width) + "×" + std::to_string(height));
}

Message LoadError::Text() const
{
    const Message reason = IdOf(Reason);
    return Detail.Empty() ? reason : Message::Join(reason, Detail);
}

} // namespace quorvane

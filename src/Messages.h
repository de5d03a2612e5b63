#pragma once

#include <string>

namespace quorvane {

// The messages the engine shows the user, by id. The front ends turn an id into words: the command line
// prints the Russian text, the window the translation of that text for the user's language.
enum class MessageId {
    PhoneFileCannotOpen,
    PhoneFileMalformed,
    NoSource,
    NoReceiver,
    NoWidth,
    NoHeight,
    StartNumberNotDigits,
    TargetSizeOutOfRange, // the size typed, as width×height, follows
    CheckFolder,          // the receiver folder follows
    ReceiverBusy,         // another run writes into the receiver, which follows
    NoErrors,             // the report's last line when nothing was skipped and every output written
    Interrupted,          // the report's last line when the run was stopped
};
inline constexpr int MessageIdCount = static_cast<int>(MessageId::Interrupted) + 1;

// A message and the text that completes it (a folder), if any.
struct Message {
    MessageId Id;
    std::string Argument;

    bool operator==(const Message&) const = default;
};

// The Russian text of a message, with "%1" where the argument goes.
const char* MessageFormat(MessageId id);

// The whole Russian text: the format with its argument in place of "%1".
std::string MessageText(const Message& message);

} // namespace quorvane

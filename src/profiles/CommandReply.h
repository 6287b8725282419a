#pragma once

#include <QString>

// How a page command ends: success with a text, failure with code 0 and a text, or no answer.
struct CommandReply {
    enum class Kind { None, Success, Failure };

    Kind kind = Kind::None;
    QString text;

    static CommandReply none() { return {}; }
    static CommandReply success(const QString& text) { return {Kind::Success, text}; }
    static CommandReply failure(const QString& text) { return {Kind::Failure, text}; }
};

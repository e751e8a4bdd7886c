#pragma once

#include <QString>

// Why a photo of a post cannot be drawn, exported or published.
enum class PLRPhotoProblem {
    None,
    Missing,      // the file is gone from the post's folder
    CutShort,     // the file ends before its picture does
    Unreadable,   // not a picture that can be read: empty, not an image, or data that does not match its header
};

// The reason as the user reads it after the photo's name ("IMG_1.jpg: cut short"); empty for None.
inline QString describePhotoProblem(PLRPhotoProblem problem)
{
    switch (problem) {
    case PLRPhotoProblem::None: return {};
    case PLRPhotoProblem::Missing: return QStringLiteral("missing from the folder");
    case PLRPhotoProblem::CutShort: return QStringLiteral("cut short");
    case PLRPhotoProblem::Unreadable: return QStringLiteral("not a readable photo");
    }
    return {};
}

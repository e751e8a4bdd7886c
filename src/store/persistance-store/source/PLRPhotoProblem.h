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

// What the mark of a photo that cannot be used tells where the photo is shown (its tool tip):
// "IMG_1.jpg: cut short", the same words an export or a publish refuses it with; the reason
// alone, capitalised, when the photo's name is not known. Empty for None.
inline QString describePhotoProblemOf(const QString& fileName, PLRPhotoProblem problem)
{
    const QString reason = describePhotoProblem(problem);
    if (reason.isEmpty())
        return reason;
    if (!fileName.isEmpty())
        return QStringLiteral("%1: %2").arg(fileName, reason);
    return reason.left(1).toUpper() + reason.mid(1);
}

#include "ui/pages/source_texts.h"

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace zt::ui {

QString ReadProblemText(const QString& label, const SourceChoice& choice) {
    return ReadProblemText(label, choice, platform::RunningAsAdministrator());
}

QString ImageFolderRefusal(const QString& folder) {
    return QString::fromUtf8(ImagePathNotFoundMessage().data(), static_cast<qsizetype>(ImagePathNotFoundMessage().size())) +
           QStringLiteral("\n\n%1 holds no %2. Choose the folder that holds %2, the first file of an image set "
                          "made under Image Creation.")
               .arg(folder, QString::fromUtf8(ImageFirstPartName.data(),
                                              static_cast<qsizetype>(ImageFirstPartName.size())));
}

QString ReadProblemText(const QString& label, const SourceChoice& choice, bool administrator) {
    const QString path = QString::fromStdString(choice.problemPath);
    const QString source = path.isEmpty() || path == label ? label : label + " (" + path + ")";
    const QString reason = QString::fromLocal8Bit(std::strerror(choice.errnoValue));
    switch (choice.problem) {
        case SourceProblem::None:
            return {};
        case SourceProblem::Missing:
            return QStringLiteral("Cannot read %1: %2.").arg(source, reason);
        case SourceProblem::NotASource:
            return QStringLiteral("Cannot read %1: it is neither a disk nor a disk image file.").arg(source);
        case SourceProblem::NoImageInFolder:
            return QString::fromUtf8(ImagePathNotFoundMessage().data(),
                                     static_cast<qsizetype>(ImagePathNotFoundMessage().size()));
        case SourceProblem::SizeUnknown:
            return QStringLiteral("Cannot read %1: its size cannot be found.").arg(source);
        case SourceProblem::PartMissing:
        case SourceProblem::PartWrongSize:
            return QStringLiteral("Cannot read %1: %2.").arg(label, QString::fromStdString(ImageSetProblemText(choice)));
        case SourceProblem::EmptySource:
            return QStringLiteral("Cannot read %1: the source is empty, it holds no sector.").arg(source);
        case SourceProblem::CannotOpen:
            // The system's disk service was asked and did not open it: say what it answered.
            if (const std::string refusal = ServiceRefusalText(choice); !refusal.empty()) {
                return QStringLiteral("Cannot read %1: %2.").arg(label, QString::fromStdString(refusal));
            }
            if ((choice.errnoValue == EACCES || choice.errnoValue == EPERM) && administrator) {
                // Rights are not what is missing: the kernel refused it to root.
                return QStringLiteral("Cannot read %1: %2. The system refuses it to an administrator too: a "
                                      "container or a security policy forbids reading this disk here.")
                    .arg(source, reason);
            }
            if (choice.errnoValue == EACCES || choice.errnoValue == EPERM) {
                return QStringLiteral("Cannot read %1: %2. Reading a disk needs administrator rights.")
                    .arg(source, reason);
            }
            return QStringLiteral("Cannot read %1: %2.").arg(source, reason);
    }
    return {};
}

}  // namespace zt::ui

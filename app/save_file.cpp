#include "save_file.h"

#include "error_report.h"
#include "log_memo.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QSaveFile>

namespace orvik {
namespace {

SaveFileChooser g_chooser;

constexpr qsizetype kWriteChunk = 64 * 1024;

} // namespace

void setSaveFileChooser(SaveFileChooser chooser)
{
    g_chooser = std::move(chooser);
}

QString chooseSaveFile(QWidget* parent, const QString& caption, const QString& suggestedName, const QString& filter)
{
    if (g_chooser) return g_chooser(caption, suggestedName);
    return QFileDialog::getSaveFileName(parent, caption, QDir::home().filePath(suggestedName), filter);
}

bool saveAtomically(const QString& path, const std::function<bool(QIODevice&)>& write)
{
    QSaveFile file(path);
    const bool saved = file.open(QIODevice::WriteOnly) && write(file) && file.commit();
    if (!saved)
        showMessage(QStringLiteral("无法保存文件 %1：%2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return saved;
}

void saveDebugLog(const LogMemo& memo, QWidget* parent)
{
    const QString name = QDateTime::currentDateTime().toString(QStringLiteral("'orvik-log-'yyyyMMdd-HHmmss'.txt'"));
    const QString path
        = chooseSaveFile(parent, QStringLiteral("保存调试信息"), name, QStringLiteral("文本文件 (*.txt)"));
    if (path.isEmpty()) return;
    saveAtomically(path, [&memo](QIODevice& file) {
        QByteArray chunk;
        bool ok = true;
        memo.visitLines([&](QStringView line, std::optional<qint64> ms) {
            if (ms) {
                chunk
                    += QDateTime::fromMSecsSinceEpoch(*ms).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toUtf8();
                chunk += '\t';
            }
            chunk += line.toUtf8();
            chunk += '\n';
            if (chunk.size() < kWriteChunk) return;
            ok = ok && file.write(chunk) == chunk.size();
            chunk.clear();
        });
        return ok && file.write(chunk) == chunk.size();
    });
}

} // namespace orvik

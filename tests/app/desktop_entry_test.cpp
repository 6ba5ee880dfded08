// The desktop entry: valid, takes a file, and declares the types that the
// open dialog's "Video files" entry offers.
#include "app/main_frame.h"

#include <QFile>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

QString EntryPath() {
    return QStringLiteral(TESSELON_SOURCE_DIR "/src/res/tesselon.desktop");
}

QString EntryValue(const QString& key) {
    QFile file(EntryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QString text = QString::fromUtf8(file.readAll());
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(key),
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1);
}

TEST(DesktopEntryTest, PassesDesktopFileValidate) {
    const QString validate =
        QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validate.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed (desktop-file-utils)";
    QProcess process;
    process.start(validate, {EntryPath()});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardOutput().toStdString()
                                     << process.readAllStandardError().toStdString();
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty()) << "no warnings or hints either";
}

TEST(DesktopEntryTest, TakesOneFileAndDeclaresEveryOfferedVideoType) {
    EXPECT_EQ(EntryValue(QStringLiteral("Exec")), QStringLiteral("tesselon %f"));
    const QStringList declared =
        EntryValue(QStringLiteral("MimeType")).split(u';', Qt::SkipEmptyParts);
    ASSERT_FALSE(declared.isEmpty());

    // The "Video files" patterns, the open filter's first entry.
    const QString patterns = CMainFrame::kOpenFilter.section(u'|', 1, 1);
    ASSERT_FALSE(patterns.isEmpty());
    const QMimeDatabase database;
    for (const QString& pattern : patterns.split(u';')) {
        // An extension may name several types (".ts" is also a translation file).
        QStringList names;
        for (const QMimeType& type :
             database.mimeTypesForFileName(QStringLiteral("x") + pattern.mid(1)))
            names << type.name() << type.aliases();
        if (names.isEmpty())
            continue; // the MIME database knows no type for it
        const bool covered = std::any_of(names.begin(), names.end(), [&](const QString& name) {
            return declared.contains(name);
        });
        EXPECT_TRUE(covered) << pattern.toStdString() << " is " << names.join(u' ').toStdString();
    }
}

} // namespace

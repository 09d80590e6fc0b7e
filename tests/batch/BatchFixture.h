#pragma once

#include "batch/Batch.h"
#include "tests/batch/FakeHost.h"
#include "tests/support/ScriptedPrompts.h"

#include <gtest/gtest.h>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

// An input and an output folder in a temporary directory, with small images made on the spot.
class BatchFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("in"));
        QDir(m_dir.path()).mkpath(QStringLiteral("out"));
        inFolder = m_dir.path() + QStringLiteral("/in/");
        outFolder = m_dir.path() + QStringLiteral("/out/");
    }
    void TearDown() override { Batch::SetConverter({}); }

    // Saves a small picture in `format` ("BMP", "PNG", "JPG"); `width` varies the file size.
    static void writeImage(const QString& path, const char* format, int width = 8, int height = 6) {
        QImage image(width, height, QImage::Format_RGB32);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                image.setPixel(x, y, qRgb(x * 30 % 256, y * 40 % 256, (x + y) * 20 % 256));
            }
        }
        ASSERT_TRUE(image.save(path, format)) << path.toStdString();
    }
    static void writeBytes(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(bytes);
    }
    static QByteArray readBytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static qint64 sizeOf(const QString& path) { return QFileInfo(path).size(); }
    static QString sizeText(const QString& path) { return Batch::SizeText(sizeOf(path)); }

    // The names of the files in `folder`, in the order the file system lists them.
    static QStringList listed(const QString& folder) {
        QStringList names;
        QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
        while (it.hasNext()) {
            names << it.nextFileInfo().fileName();
        }
        return names;
    }
    static QStringList sortedEntries(const QString& folder) {
        return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    QTemporaryDir m_dir;
    QString inFolder;
    QString outFolder;
    FakeHost host;
};

// Readable report text in failure messages.
inline std::string shown(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r"), QLatin1String("\\r")).replace(QLatin1String("\n"), QLatin1String("\\n\n"));
    return out.toStdString();
}

#define EXPECT_TEXT(actual, expected) EXPECT_EQ(shown(actual), shown(expected))

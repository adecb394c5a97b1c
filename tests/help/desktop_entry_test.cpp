// The desktop entry: the keys a menu needs to list and start the program with its icon.
#include <QFile>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(DesktopEntry, NamesTheProgramAndItsIcon) {
    QFile file(QStringLiteral(VELMORA_DESKTOP_ENTRY));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), QStringLiteral("[Desktop Entry]"));
    std::map<QString, QString> keys;
    for (const QString& line : lines.mid(1)) {
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0) {
            EXPECT_TRUE(keys.emplace(line.left(eq), line.mid(eq + 1)).second)
                << "duplicate key " << line.left(eq).toStdString();
        }
    }
    const std::map<QString, QString> expected = {
        {QStringLiteral("Type"), QStringLiteral("Application")},
        {QStringLiteral("Name"), QStringLiteral("Velmora")},
        {QStringLiteral("Exec"), QStringLiteral("velmora")},
        // The icon and the file share the id of the AppStream metainfo.
        {QStringLiteral("Icon"), QStringLiteral("org.velmora.Velmora")},
        {QStringLiteral("Terminal"), QStringLiteral("false")},
        {QStringLiteral("Categories"), QStringLiteral("Science;Electronics;")},
    };
    for (const auto& [key, value] : expected) {
        SCOPED_TRACE(key.toStdString());
        EXPECT_EQ(keys[key], value);
    }
    EXPECT_FALSE(keys[QStringLiteral("Comment")].isEmpty());
}

} // namespace

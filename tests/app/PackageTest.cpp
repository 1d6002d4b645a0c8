#include "stations/Airports.h"

#include "support/TempDir.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace quadrantel;

namespace {

// Runs a program to its end; its standard output, or nothing when it failed.
std::optional<std::string> RunToEnd(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ADD_FAILURE() << program.toStdString() << ": " << p.readAllStandardError().toStdString();
        return std::nullopt;
    }
    return p.readAllStandardOutput().toStdString();
}

} // namespace

// The package as a user's system gets it: unpacked into a root of its own, the program
// answers, finds its airports beside it in share/, and the desktop finds its entry and icon.
TEST(Package, InstalledProgramRunsAndFindsItsAirports)
{
    test::TempDir root;
    ASSERT_TRUE(RunToEnd("dpkg-deb", {"-x", QUADRANTEL_DEB, QString::fromStdString(root.path())}));

    const std::string bin = root.file("usr/bin");
    EXPECT_EQ(RunToEnd(QString::fromStdString(bin + "/quadrantel"), {"--version"}),
              "quadrantel " QUADRANTEL_VERSION "\n");
    const std::string airports = stations::AirportsFile(bin);
    EXPECT_EQ(airports, root.file("usr/share/quadrantel/airports.dat"));
    const auto found = stations::LookupAirport(airports, "LOWW");
    EXPECT_EQ(found.outcome, stations::AirportOutcome::Found);
    EXPECT_EQ(found.latitude, "N048.06.37.000");
    for (const char* file :
         {"usr/share/applications/quadrantel.desktop", "usr/share/icons/hicolor/scalable/apps/quadrantel.svg"})
        EXPECT_TRUE(QFileInfo(QString::fromStdString(root.file(file))).isFile()) << file;
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(bin + "/linkar-sim"))); // simulators stay out

    const auto depends = RunToEnd("dpkg-deb", {"-f", QUADRANTEL_DEB, "Depends"}).value_or("");
    for (const char* lib : {"libqt6core6", "libqt6widgets6", "libqt6network6", "libx11-6"})
        EXPECT_NE(depends.find(lib), std::string::npos) << depends;
}

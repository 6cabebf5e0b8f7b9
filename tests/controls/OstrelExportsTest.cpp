// The library's dynamic symbol table must show the two control classes and
// nothing else of ours.

#include <QFileInfo>
#include <QMetaType>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

bool IsLinkerSymbol(const QString& name) {
    static const QStringList linkerSymbols = {"__bss_start", "_edata", "_end", "_init", "_fini"};
    return linkerSymbols.contains(name);
}

bool BelongsToExportedClass(const QString& name) {
    return name.contains(QStringLiteral("CEditLatLong")) ||
           name.contains(QStringLiteral("CProgressDialog"));
}

} // namespace

TEST(OstrelExports, OnlyTheTwoControlClassesAreExported) {
    const QString nm = QStringLiteral(MARLO_NM_PROGRAM);
    if (nm.isEmpty() || !QFileInfo(nm).isExecutable())
        GTEST_SKIP() << "nm is not available";
    const QString library = QStringLiteral(OSTREL_LIBRARY_FILE);
    ASSERT_TRUE(QFileInfo::exists(library)) << library.toStdString();

    QProcess process;
    process.start(nm, {"-D", "--defined-only", "-C", library});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0);

    // Lines read "<address> <type> <demangled name>".
    const QRegularExpression line(QStringLiteral("^[0-9a-fA-F]+ \\S (.+)$"));
    int editSymbols = 0;
    int dialogSymbols = 0;
    QStringList foreign;
    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    for (const QString& text : output.split('\n', Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch match = line.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        const QString name = match.captured(1);
        if (name.contains(QStringLiteral("CEditLatLong")))
            ++editSymbols;
        if (name.contains(QStringLiteral("CProgressDialog")))
            ++dialogSymbols;
        if (!BelongsToExportedClass(name) && !IsLinkerSymbol(name))
            foreign << name;
    }
    EXPECT_TRUE(foreign.isEmpty()) << foreign.join(QStringLiteral("\n")).toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("CEditLatLong::Initialise(bool)")));
    EXPECT_TRUE(output.contains(QStringLiteral("CProgressDialog::UpdateProgress(unsigned int)")));
    EXPECT_GT(editSymbols, 0);
    EXPECT_GT(dialogSymbols, 0);
}

// Loading the library registers its classes with the application.
TEST(OstrelExports, ClassesAreRegisteredWhenTheLibraryLoads) {
    EXPECT_TRUE(QMetaType::fromName("CEditLatLong*").isValid());
    EXPECT_TRUE(QMetaType::fromName("CProgressDialog*").isValid());
}

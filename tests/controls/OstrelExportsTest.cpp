#include <QFileInfo>
#include <QMetaType>
#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

// The library's dynamic symbol table shows the two control classes and nothing
// else of ours: every defined symbol names one of them or is a linker mark.
TEST(OstrelExports, OnlyTheTwoControlClassesAreExported) {
    const QString nm = QStringLiteral(MARLO_NM_PROGRAM);
    if (nm.isEmpty() || !QFileInfo(nm).isExecutable())
        GTEST_SKIP() << "nm is not available";
    QProcess process;
    process.start(nm, {"-D", "--defined-only", "-C", QStringLiteral(OSTREL_LIBRARY_FILE)});
    ASSERT_TRUE(process.waitForFinished(30000));
    ASSERT_EQ(process.exitCode(), 0);

    const QString output = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QStringList linkerMarks = {"__bss_start", "_edata", "_end", "_init", "_fini"};
    QStringList foreign;
    for (const QString& line : output.split('\n', Qt::SkipEmptyParts)) {
        const QString name = line.section(' ', 2); // "<address> <type> <name>"
        if (!name.contains("CEditLatLong") && !name.contains("CProgressDialog") &&
            !linkerMarks.contains(name))
            foreign << name;
    }
    EXPECT_TRUE(foreign.isEmpty()) << foreign.join('\n').toStdString();
    EXPECT_TRUE(output.contains("CEditLatLong::Initialise(bool)"));
    EXPECT_TRUE(output.contains("CProgressDialog::UpdateProgress(unsigned int)"));
}

// Loading the library registers its classes with the application.
TEST(OstrelExports, ClassesAreRegisteredWhenTheLibraryLoads) {
    EXPECT_TRUE(QMetaType::fromName("CEditLatLong*").isValid());
    EXPECT_TRUE(QMetaType::fromName("CProgressDialog*").isValid());
}

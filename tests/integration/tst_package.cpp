// The Debian package: packed by CPack from the programs this build folder has
// already built, listed, and unpacked into a temporary root, from where its
// programs, manual pages and bash completion are run.
#include "cli/commandcatalog.h"
#include "support/quelmprocess.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run run(const QString &program, const QStringList &arguments, const QProcessEnvironment &environment = {},
        int timeoutMs = 30000)
{
    QProcess process;
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(3000);
        return {};
    }
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

bool installed(const QString &program)
{
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// Rendered text with roff's hyphens and minus signs as "-" and every run of
// white space as one space, so that wrapped lines compare as written.
QString plain(QString text)
{
    text.replace(QChar(0x2010), QLatin1Char('-')).replace(QChar(0x2212), QLatin1Char('-'));
    return text.simplified();
}

// The long options a --help text lists, e.g. "--wait".
QStringList longOptions(const QString &help)
{
    QStringList options;
    const QRegularExpression entry(QStringLiteral("^  (?:-\\w, )?(--[\\w-]+)"), QRegularExpression::MultilineOption);
    for (auto match = entry.globalMatch(help); match.hasNext();)
        options.append(match.next().captured(1));
    return options;
}

} // namespace

class PackageTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void holdsEveryInstalledPath();
    void programsRunFromThePackage();
    void manualPagesRenderAndAgreeWithHelp();
    void completionOffersCommandsAndPeers();
    void desktopDataPassesItsValidators();

private:
    QString root(const QString &path) const { return m_root.filePath(path); }
    Run completion(const QStringList &words, const QString &home = {}) const;

    QTemporaryDir m_work;
    QTemporaryDir m_root;
    QString m_listing;
};

void PackageTest::initTestCase()
{
    if (!installed(QStringLiteral("dpkg-deb")))
        QSKIP("dpkg-deb is missing: no Debian package can be built or read here");
    if (!installed(QStringLiteral("dpkg-shlibdeps")))
        QSKIP("dpkg-shlibdeps is missing: the package's dependencies cannot be computed (apt-get install dpkg-dev)");
    QVERIFY(m_work.isValid() && m_root.isValid());
    const Run packed = run(QStringLiteral(CPACK_EXECUTABLE),
                           {QStringLiteral("--config"), QStringLiteral(QUELM_BUILD_DIR "/CPackConfig.cmake"),
                            QStringLiteral("-B"), m_work.path()},
                           {}, 240000);
    QVERIFY2(packed.exitCode == 0, qPrintable(packed.out + packed.err));
    const QStringList packages = QDir(m_work.path()).entryList({QStringLiteral("quelm_*.deb")}, QDir::Files);
    QCOMPARE(packages.size(), 1);
    const QString package = m_work.filePath(packages.first());

    const Run listing = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), package});
    QCOMPARE(listing.exitCode, 0);
    m_listing = listing.out;
    const Run depends = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-f"), package, QStringLiteral("Depends")});
    // Computed from the programs' libraries: the web engine comes with the desktop program.
    QVERIFY2(depends.out.contains(QLatin1String("libqt6webenginewidgets6")), qPrintable(depends.out));
    QVERIFY2(depends.out.contains(QLatin1String("libqt6network6")), qPrintable(depends.out));
    QCOMPARE(run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), package, m_root.path()}).exitCode, 0);
}

void PackageTest::holdsEveryInstalledPath()
{
    QStringList paths{QStringLiteral("usr/share/applications/quelm.desktop"),
                      QStringLiteral("usr/share/icons/hicolor/scalable/apps/quelm.svg"),
                      QStringLiteral("usr/share/metainfo/net.example.quelm.metainfo.xml"),
                      QStringLiteral("usr/lib/systemd/user/quelmd.service"),
                      QStringLiteral("usr/share/bash-completion/completions/quelm-cli"),
                      QStringLiteral("usr/share/doc/quelm/copyright"),
                      QStringLiteral("usr/share/doc/quelm/changelog.Debian.gz")};
    for (const char *size : {"16", "32", "48", "64", "128", "256"})
        paths.append(QStringLiteral("usr/share/icons/hicolor/%1x%1/apps/quelm.png").arg(QLatin1String(size)));
    for (const char *page : {"quelm", "quelmd", "quelm-cli"})
        paths.append(QStringLiteral("usr/share/man/man1/%1.1.gz").arg(QLatin1String(page)));
    // Owned by root, with the modes Debian expects.
    const auto listed = [this](const QString &mode, const QString &path) {
        return m_listing.contains(QRegularExpression(QLatin1Char('^') + mode + QStringLiteral(" root/root .* \\./")
                                                         + QRegularExpression::escape(path) + QLatin1Char('$'),
                                                     QRegularExpression::MultilineOption));
    };
    for (const QString &path : paths)
        QVERIFY2(listed(QStringLiteral("-rw-r--r--"), path), qPrintable(path));
    for (const char *program : {"quelm", "quelmd", "quelm-cli", "kestrune"})
        QVERIFY2(listed(QStringLiteral("-rwxr-xr-x"), QStringLiteral("usr/bin/") + QLatin1String(program)), program);

    QFile unit(root(QStringLiteral("usr/lib/systemd/user/quelmd.service")));
    QVERIFY(unit.open(QIODevice::ReadOnly));
    QVERIFY(unit.readAll().contains("\nExecStart=/usr/bin/quelmd\n"));
}

void PackageTest::programsRunFromThePackage()
{
    const Run version = run(root(QStringLiteral("usr/bin/quelmd")), {QStringLiteral("--version")});
    QCOMPARE(version.exitCode, 0);
    QVERIFY2(version.out.contains(QLatin1String(QUELM_VERSION_TEXT)), qPrintable(version.out));
    const Run help = run(root(QStringLiteral("usr/bin/quelm-cli")), {QStringLiteral("--help")});
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.contains(QLatin1String("Commands:")));
}

void PackageTest::manualPagesRenderAndAgreeWithHelp()
{
    if (!installed(QStringLiteral("man")))
        QSKIP("man is missing: the manual pages cannot be rendered here (apt-get install man-db)");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    environment.insert(QStringLiteral("MANWIDTH"), QStringLiteral("100"));
    const auto page = [&](const char *name) {
        const Run rendered = run(QStringLiteral("man"),
                                 {QStringLiteral("--warnings"), QStringLiteral("-l"),
                                  root(QStringLiteral("usr/share/man/man1/%1.1.gz").arg(QLatin1String(name)))},
                                 environment);
        // Nothing on standard error: groff's warnings are errors of the page.
        return rendered.exitCode == 0 && rendered.err.isEmpty() ? plain(rendered.out) : QString();
    };
    QVERIFY(page("quelm").contains(QLatin1String("-testonly")));

    const QString daemonPage = page("quelmd");
    const QString daemonHelp = run(root(QStringLiteral("usr/bin/quelmd")), {QStringLiteral("--help")}).out;
    QVERIFY(longOptions(daemonHelp).contains(QLatin1String("--testonly")));
    for (const QString &option : longOptions(daemonHelp))
        QVERIFY2(daemonPage.contains(option), qPrintable(option));

    // Every command's synopsis, as quelm-cli --help prints it, and every option.
    const QString cliPage = page("quelm-cli");
    const QString cli = root(QStringLiteral("usr/bin/quelm-cli"));
    QStringList options = longOptions(run(cli, {QStringLiteral("--help")}).out);
    const CommandCatalog catalog;
    for (const CliCommand &command : catalog.commands()) {
        QVERIFY2(cliPage.contains(plain(command.synopsis())), qPrintable(command.synopsis()));
        options += longOptions(run(cli, {command.name(), QStringLiteral("--help")}).out);
    }
    QVERIFY(options.contains(QLatin1String("--from")));
    for (const QString &option : options)
        QVERIFY2(cliPage.contains(option), qPrintable(option));
}

Run PackageTest::completion(const QStringList &words, const QString &home) const
{
    // As bash calls a completion function: the words so far, the cursor in
    // the last one, and the command, the current and the previous word.
    const QString script = QStringLiteral(
        "source \"$1\"; shift\n"
        "spec=$(complete -p quelm-cli) || exit 1\n"
        "function=${spec#*-F }; function=${function%% *}\n"
        "COMP_WORDS=(\"$@\"); COMP_CWORD=$(($# - 1)); COMP_LINE=\"$*\"; COMP_POINT=${#COMP_LINE}\n"
        "\"$function\" \"$1\" \"${COMP_WORDS[COMP_CWORD]}\" \"${COMP_WORDS[COMP_CWORD-1]}\"\n"
        "printf '%s\\n' \"${COMPREPLY[@]}\"\n");
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!home.isEmpty())
        environment.insert(QStringLiteral("QUELM_HOME"), home);
    return run(QStringLiteral("bash"),
               QStringList{QStringLiteral("--norc"), QStringLiteral("--noprofile"), QStringLiteral("-c"), script,
                           QStringLiteral("bash"), root(QStringLiteral("usr/share/bash-completion/completions/quelm-cli")),
                           root(QStringLiteral("usr/bin/quelm-cli"))}
                   + words,
               environment);
}

void PackageTest::completionOffersCommandsAndPeers()
{
    QStringList commandsWithS;
    const CommandCatalog catalog;
    for (const CliCommand &command : catalog.commands()) {
        if (command.name().startsWith(QLatin1Char('s')))
            commandsWithS.append(command.name());
    }
    const Run commands = completion({QStringLiteral("s")});
    QCOMPARE(commands.exitCode, 0);
    QStringList offered = commands.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    offered.sort();
    commandsWithS.sort();
    QCOMPARE(offered, commandsWithS);
    QVERIFY(completion({QStringLiteral("get"), QStringLiteral("--r")}).out.contains(QLatin1String("--resume")));

    // Peers come from the quelmd of the program folder, once it has one.
    auto server = std::make_unique<QuelmProcess>("tab-server", 0, QString(), QuelmProcess::Program::Headless);
    auto client = std::make_unique<QuelmProcess>("tab-client", 0, QString(), QuelmProcess::Program::Headless);
    QVERIFY(server->start() && client->start());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QUELM_HOME"), client->home());
    const QString cli = root(QStringLiteral("usr/bin/quelm-cli"));
    QCOMPARE(run(cli, {QStringLiteral("connect"), server->address()}, environment).exitCode, 0);
    QVERIFY(QTest::qWaitFor(
        [&] { return run(cli, {QStringLiteral("peers")}, environment).out.contains(QLatin1String("tab-server")); },
        20000));
    QCOMPARE(completion({QStringLiteral("browse"), QStringLiteral("tab")}, client->home()).out,
             QStringLiteral("tab-server\n"));
    QCOMPARE(completion({QStringLiteral("get"), QStringLiteral("name"), QStringLiteral("--from"), QString()},
                        client->home())
                 .out,
             server->address() + QStringLiteral("\ntab-server\n"));
}

void PackageTest::desktopDataPassesItsValidators()
{
    const bool desktopValidator = installed(QStringLiteral("desktop-file-validate"));
    const bool appstreamValidator = installed(QStringLiteral("appstreamcli"));
    if (!desktopValidator && !appstreamValidator)
        QSKIP("desktop-file-validate and appstreamcli are missing (apt-get install desktop-file-utils appstream)");
    if (desktopValidator) {
        const Run checked = run(QStringLiteral("desktop-file-validate"),
                                {root(QStringLiteral("usr/share/applications/quelm.desktop"))});
        QVERIFY2(checked.exitCode == 0 && checked.out.isEmpty(), qPrintable(checked.out + checked.err));
    }
    if (appstreamValidator) {
        const Run checked = run(QStringLiteral("appstreamcli"),
                                {QStringLiteral("validate"), QStringLiteral("--no-net"),
                                 root(QStringLiteral("usr/share/metainfo/net.example.quelm.metainfo.xml"))});
        QVERIFY2(checked.exitCode == 0, qPrintable(checked.out + checked.err));
    }
}

QTEST_GUILESS_MAIN(PackageTest)
#include "tst_package.moc"

// The help: each window's context opens its page from the folder "ayuda"
// beside the executable, with the busy cursor shown; the pages built into
// the program folder are well-formed, in Spanish, and every link, anchor,
// style sheet and picture they name is there; the Windows help project maps
// the same contexts to the same pages.

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

#include "plan/Help.h"
#include "platform/Paths.h"
#include "tests/support/FakeDialogs.h"

using namespace Qt::StringLiterals;

namespace {

QString ProgramFolder() { return qEnvironmentVariable("QB_BUILD_DIR") + u"/QuillbaseBackup/"_s; }
QString HelpSources() { return qEnvironmentVariable("QB_SOURCE_DIR") + u"/help/"_s; }

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

// What one page holds, read as XML: its ids and the targets it names.
struct Page {
    QString error;  // empty when the page parsed
    QString lang;
    QString title;
    QSet<QString> ids;
    QStringList targets;  // href and src values
};

Page ReadPage(const QString& path) {
    Page page;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        page.error = u"cannot read"_s;
        return page;
    }
    QXmlStreamReader xml(&file);
    bool inTitle = false;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement()) {
            const auto attributes = xml.attributes();
            if (xml.name() == u"html") page.lang = attributes.value(u"lang"_s).toString();
            if (xml.name() == u"title") inTitle = true;
            if (attributes.hasAttribute(u"id"_s))
                page.ids.insert(attributes.value(u"id"_s).toString());
            for (const QString& name : {u"href"_s, u"src"_s}) {
                if (attributes.hasAttribute(name))
                    page.targets.append(attributes.value(name).toString());
            }
        } else if (xml.isEndElement() && xml.name() == u"title") {
            inTitle = false;
        } else if (xml.isCharacters() && inTitle) {
            page.title += xml.text();
        }
    }
    if (xml.hasError()) {
        page.error = u"line %1: %2"_s.arg(xml.lineNumber()).arg(xml.errorString());
    }
    return page;
}

// A section ("[ALIAS]") of the Windows help project as its lines.
QStringList ProjectSection(const QString& project, const QString& section) {
    QStringList lines;
    bool inside = false;
    for (const QString& raw : project.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inside = line == section;
            continue;
        }
        if (inside && !line.isEmpty()) lines.append(line);
    }
    return lines;
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls.append(url); }
};

}  // namespace

class TestHelp : public QObject {
    Q_OBJECT

private slots:
    void init() { platform::SetExecutableDirectory(ProgramFolder()); }

    void cleanup() {
        SetHelpOpener({});
        SetHelpFileSource({});
        platform::SetExecutableDirectory(QString());
    }

    void eachContextOpensItsPage_data() {
        QTest::addColumn<int>("context");
        QTest::addColumn<QString>("page");
        QTest::newRow("backup window") << 1 << u"ayuda/copias.html"_s;
        QTest::newRow("restore window") << 2 << u"ayuda/restaurar.html"_s;
        QTest::newRow("main window") << 3 << u"ayuda/principal.html"_s;
        QTest::newRow("no page of its own") << 0 << u"ayuda/index.html"_s;
        QTest::newRow("unknown") << 17 << u"ayuda/index.html"_s;
    }

    void eachContextOpensItsPage() {
        QFETCH(int, context);
        QFETCH(QString, page);
        // The compiled help file of the install root plays no part here.
        SetHelpFileSource([] { return QString(); });
        QStringList files;
        QList<int> contexts;
        bool busy = false;
        SetHelpOpener([&](const QString& file, int given) {
            files.append(file);
            contexts.append(given);
            const QCursor* cursor = QGuiApplication::overrideCursor();
            busy = cursor != nullptr && cursor->shape() == Qt::WaitCursor;
        });

        OpenHelp(context);

        QCOMPARE(files, QStringList{ProgramFolder() + page});
        QCOMPARE(contexts, QList<int>{context});
        QVERIFY(busy);
        QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
        QVERIFY2(QFileInfo::exists(files.first()), qPrintable(files.first()));
    }

    void theDesktopGetsThePageAsAFileUrl() {
        platform::SetExecutableDirectory(u"/opt/quillbase-backup"_s);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(u"file"_s, &catcher, "open");
        OpenHelp(2);
        QDesktopServices::unsetUrlHandler(u"file"_s);
        QCOMPARE(catcher.urls,
                 QList<QUrl>{QUrl::fromLocalFile(u"/opt/quillbase-backup/ayuda/restaurar.html"_s)});
    }

    // Where nothing opens web pages the operator is told which page it was.
    void aPageNothingCanOpenIsReported() {
        platform::SetExecutableDirectory(u"/opt/quillbase-backup"_s);
        FakeDialogs dialogs;
        // The offscreen platform has no program for pages: openUrl fails.
        QVERIFY2(!QDesktopServices::openUrl(QUrl::fromLocalFile(u"/opt/quillbase-backup/ayuda/index.html"_s)),
                 "runs on the offscreen platform only (QT_QPA_PLATFORM=offscreen, as CTest sets it)");
        OpenHelp(2);
        QCOMPARE(dialogs.texts(), QStringList{u"No se ha podido abrir la ayuda: ningún programa de este escritorio "
                                              u"abre la página\n\r/opt/quillbase-backup/ayuda/restaurar.html"_s});
        QCOMPARE(dialogs.messages.first().icon, platform::MsgIcon::Warning);
    }

    void builtPagesAreWholeAndSpanish() {
        const QDir folder(ProgramFolder() + u"ayuda"_s);
        const QStringList pages = folder.entryList({u"*.html"_s}, QDir::Files, QDir::Name);
        QCOMPARE(pages, (QStringList{u"copias.html"_s, u"index.html"_s, u"principal.html"_s,
                                     u"restaurar.html"_s}));

        QMap<QString, Page> read;
        for (const QString& name : pages) {
            const Page page = ReadPage(folder.filePath(name));
            QVERIFY2(page.error.isEmpty(), qPrintable(name + u": "_s + page.error));
            QCOMPARE(page.lang, u"es"_s);
            QVERIFY2(!page.title.trimmed().isEmpty(), qPrintable(name));
            read.insert(name, page);
        }

        QStringList broken;
        for (auto it = read.cbegin(); it != read.cend(); ++it) {
            const QString& name = it.key();
            QVERIFY2(it->targets.contains(u"estilo.css"_s), qPrintable(name));
            for (const QString& target : it->targets) {
                // Everything the pages need is in the folder: no network, no
                // absolute paths that only hold on one computer.
                if (target.contains(u':') || target.startsWith(u'/')) {
                    broken.append(name + u" -> "_s + target);
                    continue;
                }
                const QString file = target.section(u'#', 0, 0);
                const QString anchor = target.section(u'#', 1);
                const QString linked = file.isEmpty() ? name : file;
                if (!QFileInfo::exists(folder.filePath(linked))) {
                    broken.append(name + u" -> "_s + target);
                } else if (!anchor.isEmpty() &&
                           (!read.contains(linked) || !read[linked].ids.contains(anchor))) {
                    broken.append(name + u" -> "_s + target + u" (no such anchor)"_s);
                }
            }
        }
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(u"\n"_s)));
    }

    void theWindowsHelpProjectMapsTheSameContexts() {
        const QString project = ReadText(HelpSources() + u"QuillbaseBackup.hhp"_s);
        QVERIFY(!project.isEmpty());
        QCOMPARE(ProjectSection(project, u"[MAP]"_s), QStringList{u"#include contextos.h"_s});

        QMap<QString, int> numbers;  // IDH_... -> context
        static const QRegularExpression define(uR"(^#define\s+(\w+)\s+(\d+)\s*$)"_s,
                                               QRegularExpression::MultilineOption);
        auto defines = define.globalMatch(ReadText(HelpSources() + u"contextos.h"_s));
        while (defines.hasNext()) {
            const auto match = defines.next();
            numbers.insert(match.captured(1), match.captured(2).toInt());
        }
        QMap<int, QString> pages;  // context -> page of the compiled help
        for (const QString& alias : ProjectSection(project, u"[ALIAS]"_s)) {
            const QString id = alias.section(u'=', 0, 0).trimmed();
            QVERIFY2(numbers.contains(id), qPrintable(id));
            pages.insert(numbers[id], alias.section(u'=', 1).trimmed());
        }
        QCOMPARE(pages.keys(), (QList<int>{1, 2, 3}));
        for (int context : {1, 2, 3}) {
            QCOMPARE(u"ayuda/"_s + pages[context], HelpPageFor(context));
        }

        // Every page of the help is compiled and listed in the contents.
        const QStringList files = ProjectSection(project, u"[FILES]"_s);
        const QString contents = ReadText(HelpSources() + u"contenido.hhc"_s);
        const QStringList sources =
            QDir(HelpSources()).entryList({u"*.html"_s}, QDir::Files, QDir::Name);
        QVERIFY(!sources.isEmpty());
        for (const QString& page : sources) {
            QVERIFY2(files.contains(page), qPrintable(page));
            QVERIFY2(contents.contains(u"value=\""_s + page + u'"'), qPrintable(page));
        }
        QVERIFY(files.contains(u"estilo.css"_s));
    }
};

QTEST_MAIN(TestHelp)
#include "tst_help.moc"

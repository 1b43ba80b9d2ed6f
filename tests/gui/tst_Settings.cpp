#include "gui/app/Application.h"
#include "gui/datafile/SaveDialog.h"

#include <QDirIterator>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace tabula;

namespace {

// The folders the program could keep settings in, made before the
// application object reads them.
std::unique_ptr<QTemporaryDir> Home;
std::unique_ptr<QTemporaryDir> Tmp;

QStringList SettingsLeftIn(const QString& root) {
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = it.next();
        if (name.contains(QLatin1String("QtProject")) ||
            name.contains(QLatin1String("tabula-settings-"))) {
            found << name;
        }
    }
    return found;
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void theFileChooserLeavesNoSettingsAnywhere() {
        // The chooser records its folder and history when it closes.
        QTimer::singleShot(0, qApp, [] {
            auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(chooser);
            chooser->selectFile(Home->filePath(QStringLiteral("games.dat")));
            static_cast<QDialog*>(chooser)->accept();
        });
        TDatafileFormat format = TDatafileFormat::Sectioned;
        QCOMPARE(ShowSaveDialog(nullptr, QString(), format),
                 Home->filePath(QStringLiteral("games.dat")));
        QSettings settings(QSettings::UserScope, QStringLiteral("QtProject"));
        settings.setValue(QStringLiteral("probe"), 1);
        settings.sync();
        QVERIFY(settings.status() != QSettings::NoError); // nowhere to write
        QCOMPARE(SettingsLeftIn(Home->path()), QStringList());
        QCOMPARE(SettingsLeftIn(Tmp->path()), QStringList());
    }
};

int main(int argc, char** argv) {
    Home = std::make_unique<QTemporaryDir>();
    Tmp = std::make_unique<QTemporaryDir>();
    qputenv("HOME", QFile::encodeName(Home->path()));
    qputenv("TMPDIR", QFile::encodeName(Tmp->path()));
    qunsetenv("XDG_CONFIG_HOME");
    int result = 0;
    {
        TApplication app(argc, argv);
        TestSettings test;
        result = QTest::qExec(&test, argc, argv);
    }
    return result;
}

#include "tst_Settings.moc"

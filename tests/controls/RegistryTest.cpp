#include <QtTest>

#include "ControlsTestSupport.h"
#include "platform/Registry.h"

namespace {

const std::u16string MRUKey = u"\\Software\\Quill Reports\\MRUFont";

// The message of the ERegistryException that action raises.
template <typename Action>
QString RegistryError(Action action) {
    try {
        action();
    } catch (const ERegistryException& error) {
        return QString::fromStdU16String(error.Message());
    }
    return "nothing raised";
}

}  // namespace

class TRegistryTest : public QObject {
    Q_OBJECT

private slots:
    void ValuesKeepTextAndType() {
        TTempConfigHome home;
        QCOMPARE(QString::fromStdU16String(TRegistry().FileName()), home.StoreFile());
        {
            TRegistry registry;
            QVERIFY(!registry.OpenKey(MRUKey, false));
            QVERIFY(registry.OpenKey(MRUKey, true));
            registry.WriteString(u"Font0", u"Say \"Hi\" \\ back\nnow");
            registry.WriteInteger(u"FontType0", -2);
            registry.WriteInteger(u"FONTTYPE0", -3);
        }
        QCOMPARE(ReadTextFile(home.StoreFile()),
                 QByteArray("; The current user's settings of the Quill Reports programs.\n\n"
                            "[Software\\Quill Reports\\MRUFont]\n"
                            "\"Font0\"=\"Say \\\"Hi\\\" \\\\ back\\nnow\"\n\"FontType0\"=dword:fffffffd\n"));
        TRegistry registry;
        QVERIFY(registry.OpenKey(u"software\\QUILL REPORTS\\mrufont", false));
        QVERIFY(registry.ReadString(u"font0") == u"Say \"Hi\" \\ back\nnow");
        QCOMPARE(registry.ReadInteger(u"FontType0"), -3);
        QVERIFY(registry.ReadString(u"Font9").empty());
        QCOMPARE(RegistryError([&] { registry.ReadInteger(u"FontType9"); }), "Failed to get data for 'FontType9'");
        QCOMPARE(RegistryError([&] { registry.ReadInteger(u"Font0"); }), "Invalid data type for 'Font0'");
        QCOMPARE(RegistryError([&] { registry.ReadString(u"FontType0"); }), "Invalid data type for 'FontType0'");
        registry.CloseKey();
        QCOMPARE(RegistryError([&] { registry.ReadString(u"Font0"); }), "Failed to get data for 'Font0'");
        QCOMPARE(RegistryError([&] { registry.WriteString(u"Font0", u""); }), "Failed to set data for 'Font0'");
    }

    void DamagedFileKeepsWhatItCannotRead() {
        TTempConfigHome home;
        WriteTextFile(home.StoreFile(),
                      "garbage before keys\n[Other\\Key]\nBare = \"kept\"\n"
                      "[\\Software\\Quill Reports\\MRUFont\\]\r\n"
                      "\"Font0\"=\"unclosed\r\n\"FontType0\"=dword:12345678x\n\"FontType1\"=dword:100000000\n"
                      "FontType2=DWORD:0000002A\nno equals sign here\n");
        TRegistry registry;
        QVERIFY(registry.OpenKey(MRUKey, false));
        QVERIFY(registry.GetDataType(u"Font0") == TRegDataType::rdUnknown);
        QCOMPARE(RegistryError([&] { registry.ReadString(u"Font0"); }), "Invalid data type for 'Font0'");
        QCOMPARE(RegistryError([&] { registry.ReadInteger(u"FontType0"); }), "Invalid data type for 'FontType0'");
        QCOMPARE(RegistryError([&] { registry.ReadInteger(u"FontType1"); }), "Invalid data type for 'FontType1'");
        QCOMPARE(registry.ReadInteger(u"FontType2"), 42);

        registry.WriteInteger(u"FontType0", 4);
        const QByteArray saved = ReadTextFile(home.StoreFile());
        for (const char* line : {"garbage before keys\n", "[Other\\Key]\n\"Bare\"=\"kept\"\n", "\"Font0\"=\"unclosed\n",
                                 "\"FontType0\"=dword:00000004\n", "no equals sign here\n"}) {
            QVERIFY2(saved.contains(line), line);
        }
        QVERIFY(registry.OpenKey(u"other\\key", false));
        QVERIFY(registry.ReadString(u"bare") == u"kept");
    }

    void UnusableFileRaises() {
        TTempConfigHome home;
        QVERIFY(QDir().mkpath(home.StoreFile()));  // a folder cannot be read as the file
        TRegistry registry;
        QVERIFY(!registry.OpenKey(MRUKey, true));
        QCOMPARE(RegistryError([&] { registry.ReadString(u"Font4"); }), "Failed to get data for 'Font4'");
        QCOMPARE(RegistryError([&] { registry.WriteString(u"Font4", u""); }), "Failed to set data for 'Font4'");

        // A file where the folder belongs: the store cannot be made, even by root.
        WriteTextFile(home.Path() + "/blocker", "x");
        TRegistry blocked((home.Path() + "/blocker/registry.ini").toStdU16String());
        QVERIFY(blocked.OpenKey(MRUKey, true));
        QCOMPARE(RegistryError([&] { blocked.WriteInteger(u"FontType3", 0); }), "Failed to set data for 'FontType3'");

        // A folder appearing after the key was opened: the new file cannot replace it and does not stay behind.
        const QString late = home.Path() + "/late/registry.ini";
        TRegistry replaced(late.toStdU16String());
        QVERIFY(replaced.OpenKey(MRUKey, true));
        WriteTextFile(late + "/inside", "x");
        QCOMPARE(RegistryError([&] { replaced.WriteString(u"Font0", u"Arial"); }), "Failed to set data for 'Font0'");
        QCOMPARE(QDir(home.Path() + "/late").entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"registry.ini"});
    }

    void UpdateSavesOnceWhatChanged() {
        TTempConfigHome home;
        TSaveCounter saves(home.Path() + "/QuillReports");
        TRegistry registry;
        QVERIFY(registry.OpenKey(MRUKey, true));
        registry.BeginUpdate();
        registry.WriteString(u"Font0", u"Arial");
        registry.WriteInteger(u"FontType0", 4);
        registry.WriteBool(u"Nested", true);
        QVERIFY(!QFile::exists(home.StoreFile()));
        registry.EndUpdate();
        QCOMPARE(saves.Count(), 1);
        QVERIFY(ReadTextFile(home.StoreFile()).endsWith("\"Nested\"=dword:00000001\n"));

        // Writing what the store already holds saves nothing, in an update or alone.
        registry.BeginUpdate();
        registry.WriteString(u"FONT0", u"Arial");
        registry.WriteInteger(u"FontType0", 4);
        registry.EndUpdate();
        registry.WriteBool(u"nested", true);
        QCOMPARE(saves.Count(), 1);
        registry.WriteInteger(u"FontType0", 2);
        QCOMPARE(saves.Count(), 2);

        // A failed save names the first value the update changed.
        WriteTextFile(home.Path() + "/blocker", "x");
        TRegistry blocked((home.Path() + "/blocker/registry.ini").toStdU16String());
        QVERIFY(blocked.OpenKey(MRUKey, true));
        blocked.BeginUpdate();
        blocked.WriteString(u"Font1", u"Arial");
        blocked.WriteString(u"Font2", u"");
        QCOMPARE(RegistryError([&] { blocked.EndUpdate(); }), "Failed to set data for 'Font1'");
    }

    void BoolsHaveADefaultWhenMissing() {
        TTempConfigHome home;
        WriteTextFile(home.StoreFile(), "[Options]\n\"Off\"=dword:00000000\n\"On\"=dword:00000007\n\"Text\"=\"1\"\n");
        TRegistry registry;
        QVERIFY(registry.OpenKey(u"Options", false));
        QVERIFY(!registry.ReadBool(u"off", true) && registry.ReadBool(u"On", false));
        QVERIFY(registry.ReadBool(u"Missing", true) && !registry.ReadBool(u"Missing", false));
        QCOMPARE(RegistryError([&] { registry.ReadBool(u"Text", false); }), "Invalid data type for 'Text'");
        registry.WriteBool(u"Missing", true);
        QVERIFY(ReadTextFile(home.StoreFile()).contains("\"Missing\"=dword:00000001\n"));
        registry.CloseKey();  // no key open, as when the store cannot be read: an error, not the default
        QCOMPARE(RegistryError([&] { registry.ReadBool(u"On", false); }), "Failed to get data for 'On'");
    }

    void StoreFollowsXdgConfigHome() {
        TTempConfigHome home;
        qputenv("XDG_CONFIG_HOME", "relative/is/ignored");
        QCOMPARE(QString::fromStdU16String(TRegistry::UserFileName()),
                 QString::fromLocal8Bit(qgetenv("HOME")) + "/.config/QuillReports/registry.ini");
        qputenv("XDG_CONFIG_HOME", "/somewhere/else");
        QCOMPARE(QString::fromStdU16String(TRegistry::UserFileName()), QString("/somewhere/else/QuillReports/registry.ini"));
    }
};

int RunRegistryTests(int argc, char** argv) {
    TRegistryTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "RegistryTest.moc"

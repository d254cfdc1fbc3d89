// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: translating a fixture window from a language file, key family by key family.
#include "shell/Buttons.h"
#include "shell/IniLang.h"
#include "shell/IniLangUi.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTreeView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include <memory>
#include <ostream>

void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

template <typename T>
T *Named(QWidget *parent, const char *name)
{
    auto *object = new T(parent);
    object->setObjectName(QString::fromLatin1(name));
    if (parent->layout())
        parent->layout()->addWidget(object);
    return object;
}

// A report list's model that takes its headers for the display role only, as the tool windows' models do.
class TDisplayOnlyModel : public QStandardItemModel
{
public:
    using QStandardItemModel::QStandardItemModel;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value, int role) override
    {
        return role == Qt::DisplayRole && QStandardItemModel::setHeaderData(section, orientation, value, role);
    }
};

// A window shaped like a tool window: one of each kind of component.
struct TFixture {
    std::unique_ptr<QWidget> Form = std::make_unique<QWidget>();
    QPushButton *Find;
    QLabel *Label;
    QCheckBox *Check;
    QGroupBox *Group;
    QTabWidget *Tabs;
    QWidget *Page;
    QTreeWidget *List;
    QTreeView *ModelList;
    QStandardItemModel *Model;
    QComboBox *Combo;
    QTreeWidget *Tree;
    QLineEdit *Skip;
    QLineEdit *Address;
    TOVPassEdit *Password;
    QAction *Save;

    TFixture()
    {
        Form->setObjectName(QStringLiteral("RegistryIkkuna"));
        Form->setWindowTitle(QStringLiteral("Registry"));
        new QVBoxLayout(Form.get());
        QWidget *f = Form.get();
        Find = Named<QPushButton>(f, "btnFind");
        Find->setText(QStringLiteral("&Find"));
        Find->setToolTip(QStringLiteral("Find now"));
        Label = Named<QLabel>(f, "Label1");
        Label->setText(QStringLiteral("Skip:"));
        Check = Named<QCheckBox>(f, "Confirm");
        Check->setText(QStringLiteral("Confirm"));
        Group = Named<QGroupBox>(f, "GroupBox1");
        Tabs = Named<QTabWidget>(f, "Asetukset");
        Page = new QWidget;
        Page->setObjectName(QStringLiteral("TabGeneral"));
        Tabs->addTab(Page, QStringLiteral("General"));
        List = Named<QTreeWidget>(f, "EntryList");
        List->setHeaderLabels({QStringLiteral("Key"), QStringLiteral("Value"), QStringLiteral("Data")});
        ModelList = Named<QTreeView>(f, "FileList");
        Model = new TDisplayOnlyModel(0, 2, ModelList);
        Model->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size")});
        ModelList->setModel(Model);
        Combo = Named<QComboBox>(f, "BGStyle");
        Combo->addItems({QStringLiteral("Tile"), QStringLiteral("Center"), QStringLiteral("Stretch")});
        Tree = Named<QTreeWidget>(f, "Kansiot");
        auto *root = new QTreeWidgetItem(Tree, {QStringLiteral("root")});
        auto *child = new QTreeWidgetItem(root, {QStringLiteral("child")});
        new QTreeWidgetItem(child, {QStringLiteral("grandchild")});
        new QTreeWidgetItem(Tree, {QStringLiteral("second root")});
        Skip = Named<QLineEdit>(f, "Skip");
        Address = Named<QLineEdit>(f, "Address");
        Address->setText(QStringLiteral("http://design"));
        Password = Named<TOVPassEdit>(f, "ProxyPassword");
        Save = new QAction(QStringLiteral("Save"), f);
        Save->setObjectName(QStringLiteral("actSave"));
    }
};

class IniLangUiTest : public ::testing::Test
{
protected:
    QTemporaryDir FDir;

    void TearDown() override { CloseLanguageFile(); }

    void OpenLanguage(const QByteArray &text)
    {
        ASSERT_TRUE(QDir(FDir.path()).mkpath(QStringLiteral("Languages")));
        QFile f(FDir.filePath(QStringLiteral("Languages/Suomi.txt")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        f.close();
        ASSERT_TRUE(OpenLanguageFile(FDir.path(), QStringLiteral("Suomi")));
    }
};

TEST_F(IniLangUiTest, TranslatesEachKeyFamily)
{
    OpenLanguage("[registryikkuna]\r\n"
                 "RegistryIkkuna.Caption=Rekisteri\r\n"
                 "RegistryIkkuna.btnFind.Caption=&Etsi\r\n"
                 "RegistryIkkuna.btnFind.Hint=Etsi nyt\r\n"
                 "RegistryIkkuna.Label1.Caption=Ohita:\r\n"
                 "RegistryIkkuna.Confirm.Caption=\r\n"
                 "RegistryIkkuna.Confirm.Hint=Vahvista\r\n"
                 "RegistryIkkuna.GroupBox1.Caption=Ryhm\xe4\r\n"
                 "RegistryIkkuna.TabGeneral.Caption=Yleiset\r\n"
                 "RegistryIkkuna.EntryList.columns.items[0].caption=Avain\r\n"
                 "RegistryIkkuna.EntryList.columns.items[2].caption=Tieto\r\n"
                 "RegistryIkkuna.EntryList.columns.items[3].caption=none\r\n"
                 "RegistryIkkuna.EntryList.columns.items[5].caption=none\r\n"
                 "RegistryIkkuna.FileList.columns.items[1].caption=Koko\r\n"
                 "RegistryIkkuna.BGStyle.items[1]=Keskit\xe4\r\n"
                 "RegistryIkkuna.BGStyle.items[3]=none\r\n"
                 "RegistryIkkuna.Kansiot.items.item[0].text=juuri\r\n"
                 "RegistryIkkuna.Kansiot.items.item[2].text=lapsenlapsi\r\n"
                 "RegistryIkkuna.Kansiot.items.item[3].text=toinen\r\n"
                 "RegistryIkkuna.Address.Text=http://translated\r\n"
                 "RegistryIkkuna.Skip.Text=translated skip\r\n"
                 "RegistryIkkuna.ProxyPassword.Text=translated\r\n"
                 "RegistryIkkuna.actSave.Caption=Tallenna\r\n"
                 "RegistryIkkuna.NoSuchThing.Caption=x\r\n"
                 "[Misc]\r\nRegistryIkkuna.Caption=wrong section\r\n");
    TFixture w;
    w.Skip->setText(QStringLiteral("*.bak,Wine"));
    SetHoldsUserData(w.Skip);
    w.Password->setText(QStringLiteral("secret"));
    TranslateForms(w.Form.get());

    EXPECT_EQ(w.Form->windowTitle(), QStringLiteral("Rekisteri"));
    EXPECT_EQ(w.Find->text(), QStringLiteral("&Etsi"));
    EXPECT_EQ(w.Find->toolTip(), QStringLiteral("Etsi nyt"));
    EXPECT_EQ(w.Label->text(), QStringLiteral("Ohita:"));
    EXPECT_EQ(w.Check->text(), QStringLiteral("Confirm")) << "an empty value never blanks a design text";
    EXPECT_EQ(w.Check->toolTip(), QStringLiteral("Vahvista"));
    EXPECT_EQ(w.Group->title(), QStringLiteral("Ryhm\u00e4"));
    EXPECT_EQ(w.Tabs->tabText(0), QStringLiteral("Yleiset"));
    EXPECT_EQ(w.List->headerItem()->text(0), QStringLiteral("Avain"));
    EXPECT_EQ(w.List->headerItem()->text(1), QStringLiteral("Value"));
    EXPECT_EQ(w.List->headerItem()->text(2), QStringLiteral("Tieto"));
    EXPECT_EQ(w.List->columnCount(), 3) << "keys past the last column add nothing";
    EXPECT_EQ(w.Model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Name"));
    EXPECT_EQ(w.Model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Koko"));
    EXPECT_EQ(w.Model->columnCount(), 2);
    EXPECT_EQ(w.Combo->count(), 3);
    EXPECT_EQ(w.Combo->itemText(0), QStringLiteral("Tile"));
    EXPECT_EQ(w.Combo->itemText(1), QStringLiteral("Keskit\u00e4"));
    QTreeWidgetItem *root = w.Tree->topLevelItem(0);
    EXPECT_EQ(root->text(0), QStringLiteral("juuri"));
    EXPECT_EQ(root->child(0)->text(0), QStringLiteral("child"));
    EXPECT_EQ(root->child(0)->child(0)->text(0), QStringLiteral("lapsenlapsi")) << "nodes count in pre-order";
    EXPECT_EQ(w.Tree->topLevelItem(1)->text(0), QStringLiteral("toinen"));
    EXPECT_EQ(w.Address->text(), QStringLiteral("http://translated"));
    EXPECT_EQ(w.Skip->text(), QStringLiteral("*.bak,Wine")) << "the user's saved data stays";
    EXPECT_EQ(w.Password->text(), QStringLiteral("secret"));
    EXPECT_EQ(w.Save->text(), QStringLiteral("Tallenna"));
}

TEST_F(IniLangUiTest, NoFileOrNoSectionChangesNothing)
{
    TFixture w;
    TranslateForms(w.Form.get());
    EXPECT_EQ(w.Form->windowTitle(), QStringLiteral("Registry"));
    EXPECT_EQ(w.Find->text(), QStringLiteral("&Find"));

    OpenLanguage("[PaaIkkuna]\r\nRegistryIkkuna.btnFind.Caption=wrong window\r\nPaaIkkuna.Caption=x\r\n");
    TranslateForms(w.Form.get());
    TranslateForms(nullptr);
    EXPECT_EQ(w.Form->windowTitle(), QStringLiteral("Registry"));
    EXPECT_EQ(w.Find->text(), QStringLiteral("&Find"));
    EXPECT_EQ(w.Find->toolTip(), QStringLiteral("Find now"));
}

TEST_F(IniLangUiTest, TranslateWindowOpensTheFileAnewOnlyWithALanguageInUse)
{
    OpenLanguage("[RegistryIkkuna]\r\nRegistryIkkuna.Caption=Rekisteri\r\n");
    TFixture w;
    TranslateWindow(w.Form.get(), 0, QStringLiteral("Missing"), FDir.path());
    EXPECT_EQ(w.Form->windowTitle(), QStringLiteral("Rekisteri")) << "index 0 keeps the current file";
    ASSERT_NE(LanguageFile(), nullptr);

    QFile f(FDir.filePath(QStringLiteral("Languages/Suomi.txt")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[RegistryIkkuna]\r\nRegistryIkkuna.Caption=Rekisteri 2\r\n");
    f.close();
    TranslateWindow(w.Form.get(), 1, QStringLiteral("Suomi"), FDir.path());
    EXPECT_EQ(w.Form->windowTitle(), QStringLiteral("Rekisteri 2")) << "opened anew";

    TFixture other;
    TranslateWindow(other.Form.get(), 1, QStringLiteral("Missing"), FDir.path());
    EXPECT_EQ(other.Form->windowTitle(), QStringLiteral("Registry"));
    EXPECT_EQ(LanguageFile(), nullptr);
}

}  // namespace

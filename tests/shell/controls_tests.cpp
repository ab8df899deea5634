// What the windows rely on of their edit fields, lists, boxes and buttons.

#include "shell/Controls.h"

#include <QSignalSpy>
#include <QWidget>
#include <gtest/gtest.h>

using namespace fetchora;

namespace {

TEST(PickEdit, SettingTheTextFromTheProgramRaisesChangeOnce)
{
    dxPickEdit list;
    list.addItemValue("Deutsch");
    list.addItemValue("English");
    QSignalSpy change(&list, &dxPickEdit::Change);
    list.setTextValue("English");
    EXPECT_EQ(change.count(), 1);
    list.setTextValue("English");
    EXPECT_EQ(change.count(), 2) << "the same text still counts as a choice";
    list.setTextValue("Klingonisch");
    EXPECT_EQ(list.Text(), "Klingonisch") << "a text that is no item is kept";
    EXPECT_EQ(change.count(), 3);
}

TEST(PickEdit, EmptyingAndFillingTheListKeepsTheText)
{
    dxPickEdit list;
    list.setTextValue("Hoch");
    QSignalSpy change(&list, &dxPickEdit::Change);
    list.clearItems();
    list.addItemValue("None");
    list.addItemValue("High");
    EXPECT_EQ(list.Text(), "Hoch");
    EXPECT_EQ(change.count(), 0);
}

TEST(CheckEdit, StoredTextsSetTheValue)
{
    struct Row {
        const char *stored;
        bool checked;
    };
    for (const Row &row : {Row{"1", true}, Row{"0", false}, Row{"True", true}, Row{"false", false}, Row{"-1", true},
                           Row{"", false}, Row{"yes", false}}) {
        dxCheckEdit box;
        box.setValueText(row.stored);
        EXPECT_EQ(box.Value(), row.checked) << row.stored;
        EXPECT_EQ(box.valueText(), row.checked ? "1" : "0");
    }
}

TEST(CheckEdit, BoxesOfOneGroupActAsRadioButtons)
{
    QWidget window;
    auto *a = new dxCheckEdit(&window);
    auto *b = new dxCheckEdit(&window);
    auto *free1 = new dxCheckEdit(&window);
    a->setGroupIndex(1);
    b->setGroupIndex(1);
    a->setValueText("1");
    b->setValueText("1");
    EXPECT_FALSE(a->Value());
    EXPECT_TRUE(b->Value());
    a->click();
    EXPECT_TRUE(a->Value());
    EXPECT_FALSE(b->Value());
    free1->setValueText("1");
    EXPECT_TRUE(a->Value()) << "a box without a group is independent";
    a->setValueText("0");
    EXPECT_FALSE(a->Value()) << "a stored False clears a grouped box too";
}

TEST(Command, ADisabledButtonRaisesNoClick)
{
    roCommand button;
    button.setCaption("&Start");
    QSignalSpy click(&button, &roCommand::Click);
    button.click();
    button.setEnabled(false);
    button.click();
    EXPECT_EQ(click.count(), 1);
    EXPECT_EQ(button.font().family(), "Verdana");
    EXPECT_DOUBLE_EQ(button.font().pointSizeF(), 8.25);
}

TEST(TextEdit, ProgramAndUserChangesBothRaiseChange)
{
    dxTextEdit field;
    QSignalSpy change(&field, &dxTextEdit::Change);
    field.setTextValue("http://a");
    field.insert("b");
    EXPECT_EQ(change.count(), 2);
}

}  // namespace

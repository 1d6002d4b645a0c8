#include "forms/Bindings.h"
#include "platform/RuntimeError.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSignalSpy>

using namespace quadrantel;

// Guards against a bound list rebuilt at every change: filled entry by entry, a list of n
// cost n²/2 widget rows, and a new pilot heard refilled the whole player list.
TEST(Bindings, AListWidgetTouchesOnlyTheRowsThatChanged)
{
    platform::ListBox model;
    QListWidget widget;
    forms::Bind(model, &widget);
    model.setItems({"entry 0", "entry 1", "entry 2"});
    const QListWidgetItem* first = widget.item(0);
    QSignalSpy inserted(widget.model(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(widget.model(), &QAbstractItemModel::rowsRemoved);

    model.addItem("entry 3");
    model.setListIndex(1);
    model.setToolTip("not an entry");
    EXPECT_EQ(widget.item(0), first);
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(removed.count(), 0);
    EXPECT_EQ(widget.currentRow(), 1);

    model.setItems({"entry 0", "changed", "entry 2"});
    EXPECT_EQ(widget.item(0), first);
    ASSERT_EQ(widget.count(), 3);
    EXPECT_EQ(widget.item(1)->text(), "changed");
    EXPECT_EQ(widget.currentRow(), -1);

    model.clear();
    EXPECT_EQ(widget.count(), 0);
}

TEST(Bindings, TheRowChosenInAListWidgetIsTheModelsSelection)
{
    platform::ListBox model;
    QListWidget widget;
    forms::Bind(model, &widget);
    model.setItems({"entry 0", "entry 1", "entry 2"});
    widget.setCurrentRow(2);
    EXPECT_EQ(model.listIndex(), 2);
}

TEST(Bindings, AComboBoxTouchesOnlyTheEntriesThatChangedAndKeepsItsText)
{
    platform::ComboBox model;
    QComboBox widget;
    forms::Bind(model, &widget);
    model.setItems({"entry 0", "entry 1"});
    QSignalSpy inserted(widget.model(), &QAbstractItemModel::rowsInserted);
    model.addItem("entry 2");
    model.setText("ENTRY 1");
    EXPECT_EQ(inserted.count(), 1);
    EXPECT_EQ(widget.currentIndex(), 1);
    EXPECT_EQ(widget.currentText(), "ENTRY 1");

    model.setItems({"other"});
    ASSERT_EQ(widget.count(), 1);
    EXPECT_EQ(widget.itemText(0), "other");
    EXPECT_EQ(widget.currentText(), "ENTRY 1");
}

// Guards against focus given to a control the user cannot see: the runtime refuses it.
TEST(Bindings, FocusGoesOnlyToAVisibleControl)
{
    platform::TextBox model;
    QLineEdit widget;
    forms::Bind(model, &widget);
    model.setVisible(false);
    EXPECT_THROW(model.setFocus(), platform::RuntimeError);
    model.setVisible(true);
    EXPECT_NO_THROW(model.setFocus());
}

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "tests/windows/WidgetSupport.h"
#include "ui_FormPj.h"
#include "windows/FormPj.h"
#include "windows/ToolWindow.h"

using namespace WidgetSupport;

namespace {

const QString kWaiting = QStringLiteral("期待2.0版本");

// Closes and deletes the window the test left open.
struct ProjectWindowSlot {
  QPointer<FormPj> instance;
  ~ProjectWindowSlot() {
    if (!instance.isNull()) delete instance.data();
  }
};

void closeAndFlush(FormPj* window) {
  window->close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(FormPj, FixedToolWindowWithCloseBoxOnly) {
  FormPj window;
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window.minimumSize(), QSize(440, 185));
  EXPECT_EQ(window.maximumSize(), QSize(440, 185));
  EXPECT_TRUE(window.windowTitle().isEmpty());
  EXPECT_EQ(window.parentWidget(), nullptr);
}

TEST(FormPj, CentredOnScreen) {
  FormPj window;
  const QRect area = window.screen()->availableGeometry();
  EXPECT_LE(std::abs(window.geometry().center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(window.geometry().center().y() - area.center().y()), 1);
}

TEST(FormPj, LoadStretchesCaptionPanelOverWindow) {
  FormPj window;
  EXPECT_EQ(window.ui().UserControl11->geometry(), QRect(0, 0, 440, 185));
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(window.ui().UserControl11->PanelWidth(), 440);
  EXPECT_EQ(window.ui().UserControl11->PanelHeight(), 185);
  window.close();
}

TEST(FormPj, ArraysFollowIndices) {
  FormPj window;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(window.TextPM(i)->objectName(), element("TextPM", i));
    EXPECT_EQ(window.LabelInfo(i)->objectName(), element("LabelInfo", i));
    EXPECT_EQ(window.TextPM(i)->text(), kWaiting);
  }
}

// Labels fit their text; their place stays that of the definition.
TEST(FormPj, LabelsSizeToText) {
  FormPj window;
  const int tops[] = {1920, 1470, 510, 1080};
  for (int i = 0; i < 4; ++i) {
    QLabel* label = window.LabelInfo(i);
    SCOPED_TRACE(str(label->objectName()));
    EXPECT_EQ(label->pos(), QPoint(16, tops[i] / 15));
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
    EXPECT_GE(label->height(), label->fontMetrics().height());
  }
}

TEST(FormPj, ButtonsAndBoxesDoNothing) {
  ProjectWindowSlot slot;
  FormPj* window = FormPj::ShowSingle(slot.instance);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  const QWidgetList before = QApplication::topLevelWidgets();
  QTest::keyClicks(window->TextPM(2), QStringLiteral("abc"));
  QTest::keyClick(window->TextPM(2), Qt::Key_Return);
  for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command5"}) {
    auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(QApplication::topLevelWidgets().size(), before.size());
  EXPECT_EQ(window->TextPM(2)->text(), kWaiting + QStringLiteral("abc"));
  for (int i : {0, 1, 3}) EXPECT_EQ(window->TextPM(i)->text(), kWaiting);
}

TEST(FormPj, OneInstanceAtATime) {
  ProjectWindowSlot slot;
  FormPj* first = FormPj::ShowSingle(slot.instance);
  FormPj* second = FormPj::ShowSingle(slot.instance);
  EXPECT_EQ(first, second);
  EXPECT_TRUE(second->isVisible());
  int open = 0;
  for (QWidget* widget : QApplication::topLevelWidgets()) open += qobject_cast<FormPj*>(widget) != nullptr;
  EXPECT_EQ(open, 1);
}

TEST(FormPj, TypedTextGoneAfterClosing) {
  ProjectWindowSlot slot;
  FormPj* window = FormPj::ShowSingle(slot.instance);
  window->TextPM(0)->setText(QStringLiteral("工程一.szd"));
  closeAndFlush(window);
  EXPECT_TRUE(slot.instance.isNull());

  FormPj* again = FormPj::ShowSingle(slot.instance);
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->isVisible());
  EXPECT_EQ(again->TextPM(0)->text(), kWaiting);
}

}  // namespace

namespace {

// The settings dialog's "设置已经保存" under "平面水准设置": a short text, a longer title.
TEST(WidenToTitle, TheWholeTitleFitsBesideTheTitleBarButtons) {
  for (const QString& title :
       {QStringLiteral("平面水准设置"), QStringLiteral("普通水准表格（一个更长的标题）")}) {
    QMessageBox box(QMessageBox::Information, title, QStringLiteral("设置已经保存"), QMessageBox::Ok);
    levelbook::WidenToTitle(box);
    box.show();
    QApplication::processEvents();
    QFont bold = box.font();
    bold.setBold(true);
    EXPECT_GE(box.width(), QFontMetrics(bold).horizontalAdvance(title) + 4 * 32) << title.toStdString();
    box.close();
  }
}

}  // namespace

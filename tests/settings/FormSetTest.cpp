#include <gtest/gtest.h>

#include <QComboBox>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <limits>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "leveling/LevelingSettings.h"
#include "settings/FormSet.h"
#include "tests/support/ParamName.h"
#include "ui_FormSet.h"

namespace {

std::string str(const QString& text) { return text.toStdString(); }

struct Message {
  std::string text;
  std::string title;
  QWidget* owner;
};

const char* const kSaved = "设置已经保存";
const char* const kStaff = "请保证水准尺读数正确性,设置未保存";
const char* const kMid = "请保证水准中间点正确性,设置未保存";
const char* const kClosure = "请保证水准点闭合差正确性,设置未保存";
const char* const kQuick = "请保证水准快速转站正确性,设置未保存";
const char* const kTooLarge = "请检查水准设置数值是否过大,设置未保存";

std::string notNumber(int item) {
  return "请检查水准设置第" + std::to_string(item) + "项是否为数字,设置未保存";
}

// A dialog over a settings record, with its message boxes and page openings recorded.
class FormSetFixture : public ::testing::Test {
 protected:
  void SetUp() override { dialog = makeDialog(); }
  void TearDown() override { delete dialog; }

  FormSet* makeDialog() {
    auto* made = new FormSet(settings);
    made->setMessageBox([this](QWidget* owner, const QString& text, const QString& title) {
      messages.push_back({str(text), str(title), owner});
    });
    made->setUrlOpener([this](const QUrl& url) { urls.push_back(url); });
    return made;
  }

  void type(int index, const QString& text) { dialog->TextSZ(index)->setText(text); }

  gaocheng::LevelingSettings settings;
  FormSet* dialog = nullptr;
  std::vector<Message> messages;
  std::vector<QUrl> urls;
};

TEST_F(FormSetFixture, LoadShowsDefaultsAndSetsWidthOfBothPanels) {
  const char* expected[] = {"0.2", "4.8", "-3", "3", "-2", "2", "0.6", "ZD"};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(str(dialog->TextSZ(i)->text()), expected[i]) << "TextSZ " << i;
  EXPECT_FALSE(dialog->ui().CheckSZ->isChecked());
  EXPECT_TRUE(dialog->ui().CheckZJD->isChecked());
  EXPECT_TRUE(dialog->ui().CheckMiters->isChecked());
  // 3255 + 4695 twips.
  EXPECT_EQ(dialog->width(), 217 + 313);
  EXPECT_EQ(dialog->height(), 448);
  // The plane-position boxes keep the texts of the definition.
  EXPECT_EQ(str(dialog->TextPM(0)->text()), "-5");
  EXPECT_EQ(str(dialog->TextPM(1)->text()), "5");
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormSetFixture, FixedToolWindowCentredWithoutTitle) {
  const Qt::WindowFlags flags = dialog->windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowContextHelpButtonHint);
  EXPECT_EQ(dialog->minimumSize(), dialog->maximumSize());
  EXPECT_TRUE(dialog->windowTitle().isEmpty());
  const QRect area = dialog->screen()->availableGeometry();
  EXPECT_LE(std::abs(dialog->geometry().center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(dialog->geometry().center().y() - area.center().y()), 1);
}

TEST_F(FormSetFixture, ArraysFollowIndices) {
  for (int i = 0; i < 8; ++i) EXPECT_EQ(str(dialog->TextSZ(i)->objectName()), "TextSZ_" + std::to_string(i));
  for (int i = 0; i <= 17; ++i) {
    if (i >= 11 && i <= 13) {
      EXPECT_EQ(dialog->LabelInfo(i), nullptr);
      continue;
    }
    ASSERT_NE(dialog->LabelInfo(i), nullptr) << i;
    EXPECT_EQ(str(dialog->LabelInfo(i)->objectName()), "LabelInfo_" + std::to_string(i));
  }
  EXPECT_EQ(str(dialog->LabelInfo(9)->text()), "水准尺最小读数");
}

// Labels fit their text at the place of the definition; the version notes keep their box.
TEST_F(FormSetFixture, LabelsSizeToTextExceptVersionNotes) {
  for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 14, 16, 17}) {
    QLabel* label = dialog->LabelInfo(i);
    SCOPED_TRACE(str(label->objectName()));
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
    EXPECT_GE(label->height(), label->fontMetrics().height());
  }
  EXPECT_EQ(dialog->LabelInfo(9)->pos(), QPoint(16, 98));
  EXPECT_EQ(dialog->LabelInfo(15)->geometry(), QRect(24, 40, 265, 152));
}

struct GetConfigCase {
  double value;
  const char* text;
};

class GetConfigText : public FormSetFixture, public ::testing::WithParamInterface<GetConfigCase> {};

// Fifteen significant digits in general form, as the staff minimum shows it.
TEST_P(GetConfigText, FifteenSignificantDigits) {
  settings.StaffMinReading = GetParam().value;
  dialog->GetConfig();
  EXPECT_EQ(str(dialog->TextSZ(0)->text()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Values, GetConfigText,
                         ::testing::Values(GetConfigCase{0.1 + 0.2, "0.3"}, GetConfigCase{1e-7, "1E-07"},
                                           GetConfigCase{1.0 / 3, "0.333333333333333"},
                                           GetConfigCase{-3, "-3"}, GetConfigCase{-0.0, "0"},
                                           GetConfigCase{123456.789, "123456.789"},
                                           GetConfigCase{2.0 / 3 * 1e17, "6.66666666666667E+16"}),
                         testsupport::NameBy([](const GetConfigCase& c) {
                           return testsupport::ParamName(c.value, "to", c.text);
                         }));

TEST_F(FormSetFixture, GetConfigCopiesPrefixAndSwitches) {
  settings.TurnPointPrefix = " T ";
  settings.ShowTurnPointElevation = true;
  settings.MidSightInColumnC = false;
  settings.ShowReadingsInMetres = false;
  settings.QuickTurnValue = 1.25;
  dialog->GetConfig();
  EXPECT_EQ(str(dialog->TextSZ(7)->text()), " T ");
  EXPECT_EQ(str(dialog->TextSZ(6)->text()), "1.25");
  EXPECT_TRUE(dialog->ui().CheckSZ->isChecked());
  EXPECT_FALSE(dialog->ui().CheckZJD->isChecked());
  EXPECT_FALSE(dialog->ui().CheckMiters->isChecked());
}

// The closure formula: one row below the switches, a list of the five formulas, stored with the rest.
TEST_F(FormSetFixture, ClosureFormulaIsChosenFromItsList) {
  QComboBox* combo = dialog->ui().ComboFormula;
  ASSERT_EQ(combo->count(), 5);
  EXPECT_EQ(str(combo->currentText()), "6√n");
  EXPECT_EQ(str(combo->itemText(4)), "40√L");
  EXPECT_GT(combo->y(), dialog->ui().CheckMiters->y());
  EXPECT_LE(combo->geometry().bottom(), dialog->ui().UserControl11->height());
  combo->setCurrentText(QStringLiteral("20√L"));
  dialog->SetConfig();
  EXPECT_EQ(settings.ClosureToleranceFormula, gaocheng::ClosureToleranceFormula::TwentyRootL);
  settings.ClosureToleranceFormula = gaocheng::ClosureToleranceFormula::TwelveRootN;
  dialog->GetConfig();
  EXPECT_EQ(str(combo->currentText()), "12√n");
}

struct SetConfigCase {
  const char* name;
  std::map<int, const char*> items;  // TextSZ index -> text typed
  std::string message;
};

std::ostream& operator<<(std::ostream& out, const SetConfigCase& c) { return out << c.name; }

class SetConfigChecks : public FormSetFixture, public ::testing::WithParamInterface<SetConfigCase> {};

// One message per SetConfig, with the information title; a failure stores nothing at all.
TEST_P(SetConfigChecks, MessageAndStore) {
  const SetConfigCase& c = GetParam();
  for (const auto& [index, text] : c.items) type(index, QString::fromUtf8(text));
  const gaocheng::LevelingSettings before = settings;

  dialog->SetConfig();

  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, c.message);
  EXPECT_EQ(messages[0].title, "平面水准设置");
  EXPECT_EQ(messages[0].owner, dialog);
  if (c.message != kSaved) {
    EXPECT_EQ(settings, before);
  } else {
    const double* fields[] = {&settings.StaffMinReading,        &settings.StaffMaxReading,
                              &settings.MidPointMinusTolerance, &settings.MidPointPlusTolerance,
                              &settings.ClosureMinusTolerance,  &settings.ClosurePlusTolerance,
                              &settings.QuickTurnValue};
    for (const auto& [index, text] : c.items) {
      if (index < 7)
        EXPECT_EQ(*fields[index], QString::fromStdString(text).toDouble()) << "item " << index + 1;
      else
        EXPECT_EQ(settings.TurnPointPrefix, text);
    }
  }
  // The boxes stay as typed either way.
  for (const auto& [index, text] : c.items) EXPECT_EQ(str(dialog->TextSZ(index)->text()), text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetConfigChecks,
    ::testing::Values(
        SetConfigCase{"Defaults", {}, kSaved}, SetConfigCase{"Item3Empty", {{2, ""}}, notNumber(3)},
        SetConfigCase{"Item1Blank", {{0, "   "}}, notNumber(1)},
        SetConfigCase{"Items2And5NotNumbers", {{1, "abc"}, {4, "x"}}, notNumber(2)},
        SetConfigCase{"NanIsNoNumber", {{0, "nan"}}, notNumber(1)},
        SetConfigCase{"InfIsNoNumber", {{3, "inf"}}, notNumber(4)},
        SetConfigCase{"HexIsNoNumber", {{5, "0x10"}}, notNumber(6)},
        SetConfigCase{"CommaIsNoNumber", {{6, "1,5"}}, notNumber(7)},
        SetConfigCase{"TrailingTextIsNoNumber", {{1, "4.8m"}}, notNumber(2)},
        SetConfigCase{"BlanksSignAndExponent", {{0, " +2e-1 "}, {1, "\t48E-1"}, {6, ".6"}}, kSaved},
        SetConfigCase{"StaffEqual", {{0, "2"}, {1, "2"}}, kStaff},
        SetConfigCase{"StaffReversed", {{0, "4.8"}, {1, "0.2"}}, kStaff},
        SetConfigCase{"StaffAndIntermediateWrong", {{0, "3"}, {1, "1"}, {2, "3"}, {3, "-3"}}, kStaff},
        SetConfigCase{"IntermediateEqual", {{2, "3"}, {3, "3"}}, kMid},
        SetConfigCase{"ClosureEqual", {{4, "-2"}, {5, "-2"}}, kClosure},
        SetConfigCase{"QuickZero", {{6, "0"}}, kQuick}, SetConfigCase{"QuickNegative", {{6, "-0.6"}}, kQuick},
        SetConfigCase{"QuickExactlyHalfRange", {{0, "0.5"}, {1, "4.5"}, {6, "2"}}, kQuick},
        SetConfigCase{"QuickJustBelowHalfRange", {{0, "0.5"}, {1, "4.5"}, {6, "1.999"}}, kSaved},
        SetConfigCase{"TolerancesOfEitherSign", {{2, "-5"}, {3, "-4"}, {4, "1"}, {5, "2"}}, kSaved},
        SetConfigCase{"StaffMinimumZero", {{0, "0"}, {1, "3"}}, kSaved},
        SetConfigCase{"EmptyPrefix", {{7, ""}}, kSaved},
        SetConfigCase{"StaffRangeOverflows", {{0, "-1e308"}, {1, "1.7e308"}}, kTooLarge},
        SetConfigCase{"ClosureRangeOverflows", {{4, "-1.7e308"}, {5, "1.7e308"}}, kTooLarge}),
    [](const ::testing::TestParamInfo<SetConfigCase>& info) { return std::string(info.param.name); });

TEST_F(FormSetFixture, SuccessStoresAllElevenFieldsUnrounded) {
  type(0, "0.1234567890123456789");
  type(1, "3.9");
  type(2, "-4.5");
  type(3, "2.5");
  type(4, "-1");
  type(5, "1.5");
  type(6, "0.75");
  type(7, "  转 ");
  dialog->ui().CheckSZ->setChecked(true);
  dialog->ui().CheckZJD->setChecked(false);
  dialog->ui().CheckMiters->setTristate(true);
  dialog->ui().CheckMiters->setCheckState(Qt::PartiallyChecked);

  dialog->SetConfig();

  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kSaved);
  EXPECT_EQ(settings.StaffMinReading, 0.1234567890123456789);
  EXPECT_EQ(settings.StaffMaxReading, 3.9);
  EXPECT_EQ(settings.MidPointMinusTolerance, -4.5);
  EXPECT_EQ(settings.MidPointPlusTolerance, 2.5);
  EXPECT_EQ(settings.ClosureMinusTolerance, -1);
  EXPECT_EQ(settings.ClosurePlusTolerance, 1.5);
  EXPECT_EQ(settings.QuickTurnValue, 0.75);
  EXPECT_EQ(settings.TurnPointPrefix, "  转 ");
  EXPECT_TRUE(settings.ShowTurnPointElevation);
  EXPECT_FALSE(settings.MidSightInColumnC);
  // Partly checked counts as on.
  EXPECT_TRUE(settings.ShowReadingsInMetres);
}

TEST_F(FormSetFixture, EmptyPrefixStoredAsEmptyText) {
  type(7, "");
  dialog->SetConfig();
  EXPECT_EQ(settings.TurnPointPrefix, "");
}

TEST_F(FormSetFixture, FailureKeepsEvenTheValidFields) {
  type(7, "AB");
  dialog->ui().CheckSZ->setChecked(true);
  type(0, "1");
  type(1, "1");
  dialog->SetConfig();
  EXPECT_EQ(settings, gaocheng::LevelingSettings{});
}

TEST_F(FormSetFixture, PlanePositionBoxesIgnored) {
  dialog->TextPM(0)->setText(QStringLiteral("负"));
  dialog->TextPM(1)->setText(QString());
  dialog->SetConfig();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kSaved);
  EXPECT_EQ(settings, gaocheng::LevelingSettings{});
  dialog->GetConfig();
  EXPECT_EQ(str(dialog->TextPM(0)->text()), "负");
}

TEST_F(FormSetFixture, SetButtonRunsSetConfigAndStaysOpen) {
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  type(0, "0.3");
  QTest::mouseClick(dialog->ui().CmdSet, Qt::LeftButton);
  QTest::mouseClick(dialog->ui().CmdSet, Qt::LeftButton);
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[1].text, kSaved);
  EXPECT_EQ(settings.StaffMinReading, 0.3);
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(FormSetFixture, CancelAfterSetKeepsStoredValuesAndNextOpeningShowsThem) {
  dialog->show();
  type(0, "0.5");
  type(7, "TP");
  dialog->SetConfig();
  type(0, "0.7");
  QTest::mouseClick(dialog->ui().CmdOK_0, Qt::LeftButton);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(dialog->result(), QDialog::Rejected);
  EXPECT_EQ(settings.StaffMinReading, 0.5);
  EXPECT_EQ(settings.TurnPointPrefix, "TP");

  delete dialog;
  dialog = makeDialog();
  EXPECT_EQ(str(dialog->TextSZ(0)->text()), "0.5");
  EXPECT_EQ(str(dialog->TextSZ(7)->text()), "TP");
}

TEST_F(FormSetFixture, CloseBoxStoresNothing) {
  dialog->show();
  type(1, "4");
  dialog->close();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(settings, gaocheng::LevelingSettings{});
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormSetFixture, EveryLabelOpensTheMakersPage) {
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  int labels = 0;
  for (int i = 0; i <= 17; ++i) {
    QLabel* label = dialog->LabelInfo(i);
    if (label == nullptr) continue;
    ++labels;
    QTest::mouseClick(label, Qt::LeftButton);
    ASSERT_EQ(urls.size(), static_cast<std::size_t>(labels)) << "LabelInfo " << i;
    EXPECT_EQ(str(urls.back().toString()), "https://www.example.com/blog/blogview.asp?logID=72");
  }
  EXPECT_EQ(labels, 15);
  QTest::mouseClick(dialog->LabelInfo(14), Qt::RightButton);
  QTest::mouseClick(dialog->ui().TextSZ_0, Qt::LeftButton);
  EXPECT_EQ(urls.size(), 15u);
  EXPECT_TRUE(messages.empty());
}

TEST_F(FormSetFixture, LabelsShowThePanelThrough) {
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  QLabel* notes = dialog->LabelInfo(15);
  const QImage shown = dialog->grab().toImage().convertToFormat(QImage::Format_RGB32);
  const QImage panel = dialog->ui().UserControl13->retainedImage();
  // Bottom right of the notes lies below the text: what shows there is the panel's gradient.
  const QPoint inNotes(notes->width() - 2, notes->height() - 2);
  const QPoint inPanel = notes->mapTo(dialog->ui().UserControl13, inNotes);
  const QPoint inDialog = notes->mapTo(dialog, inNotes);
  EXPECT_EQ(QColor(shown.pixel(inDialog)), QColor(panel.pixel(inPanel)));
  EXPECT_NE(QColor(shown.pixel(inDialog)), dialog->palette().color(QPalette::Window));
}

TEST_F(FormSetFixture, CheckBoxesOnWindowColour) {
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
  for (QCheckBox* box : {dialog->ui().CheckSZ, dialog->ui().CheckZJD, dialog->ui().CheckMiters}) {
    SCOPED_TRACE(str(box->objectName()));
    box->resize(40, box->height());
    const QImage shown = box->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(QColor(shown.pixel(35, box->height() / 2)), box->palette().color(QPalette::Base));
  }
}

TEST_F(FormSetFixture, TooltipOnlyOnQuickTurnValue) {
  EXPECT_EQ(str(dialog->TextSZ(6)->toolTip()), "越小转站越快，值【0 ～ (（尺最大读数-尺最小读数）/2)】");
  for (QWidget* widget : dialog->findChildren<QWidget*>())
    if (widget != dialog->TextSZ(6)) {
      EXPECT_TRUE(widget->toolTip().isEmpty()) << str(widget->objectName());
    }
}

// The box the user sees: information icon, OK only, the title, over the dialog.
TEST(FormSetMessageBox, DefaultBoxIsInformationWithOkOnly) {
  gaocheng::LevelingSettings settings;
  FormSet dialog(settings);
  dialog.TextSZ(2)->setText(QString());
  QString text;
  QString title;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  QWidget* owner = nullptr;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    text = box->text();
    title = box->windowTitle();
    icon = box->icon();
    buttons = box->standardButtons();
    owner = box->parentWidget();
    box->button(QMessageBox::Ok)->click();
  });
  dialog.SetConfig();
  EXPECT_EQ(str(text), notNumber(3));
  EXPECT_EQ(str(title), "平面水准设置");
  EXPECT_EQ(icon, QMessageBox::Information);
  EXPECT_EQ(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(owner, &dialog);
}

}  // namespace

// The prefix emptied through the widgets as a user does it: the keys go to the box that has
// the keyboard focus. Unclicked, that is the first box of the dialog, a plane-position box that
// stores nothing, so the prefix stays: the dialog stores exactly the boxes it shows.
struct EmptyingCase {
  const char* name;
  int clickedBox;  // TextSZ index clicked first; -1: none
  std::vector<std::pair<Qt::Key, Qt::KeyboardModifiers>> keys;
  const char* prefix;  // stored afterwards
};

class EmptyingThePrefix : public FormSetFixture, public ::testing::WithParamInterface<EmptyingCase> {};

TEST_P(EmptyingThePrefix, StoresWhatTheBoxesShow) {
  const EmptyingCase& c = GetParam();
  dialog->show();
  dialog->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog));
  if (c.clickedBox >= 0) QTest::mouseClick(dialog->TextSZ(c.clickedBox), Qt::LeftButton);
  for (const auto& [key, modifiers] : c.keys) {
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), key, modifiers);
  }
  QTest::mouseClick(dialog->ui().CmdSet, Qt::LeftButton);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, kSaved);
  EXPECT_EQ(settings.TurnPointPrefix, c.prefix);
  EXPECT_EQ(str(dialog->TextSZ(7)->text()), c.prefix);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, EmptyingThePrefix,
    ::testing::Values(
        EmptyingCase{"SelectAllAndBackspace", 7, {{Qt::Key_A, Qt::ControlModifier}, {Qt::Key_Backspace, {}}}, ""},
        EmptyingCase{"EndAndTwoBackspaces", 7, {{Qt::Key_End, {}}, {Qt::Key_Backspace, {}}, {Qt::Key_Backspace, {}}}, ""},
        EmptyingCase{"TabSelectsItThenDelete", 6, {{Qt::Key_Tab, {}}, {Qt::Key_Delete, {}}}, ""},
        EmptyingCase{"KeysBeforeClickingTheBox", -1, {{Qt::Key_A, Qt::ControlModifier}, {Qt::Key_Backspace, {}}}, "ZD"}),
    [](const auto& info) { return std::string(info.param.name); });

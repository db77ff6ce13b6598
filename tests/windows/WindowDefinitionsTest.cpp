#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <vector>

#include "controls/ButtonFx.h"
#include "controls/UserControl1.h"
#include "tests/support/ParamName.h"
#include "tests/windows/WidgetSupport.h"
#include "ui_FormMain.h"
#include "ui_FormPj.h"
#include "ui_FormSet.h"

using namespace WidgetSupport;

namespace {

struct ControlDef {
  const char* name;
  const char* type;       // class name of the built widget
  const char* container;  // object name of the parent widget
  QRect geometry;         // pixels
  QString text;           // text, caption or initial edit text
};

QString shownText(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* combo = qobject_cast<QComboBox*>(widget)) return combo->currentText();
  if (auto* panel = qobject_cast<Quellmark::UserControl1*>(widget)) return panel->Caption();
  return {};
}

void expectControls(QWidget& window, const std::vector<ControlDef>& controls) {
  for (const ControlDef& def : controls) {
    SCOPED_TRACE(def.name);
    auto* widget = window.findChild<QWidget*>(QString::fromLatin1(def.name));
    ASSERT_NE(widget, nullptr);
    EXPECT_STREQ(widget->metaObject()->className(), def.type);
    ASSERT_NE(widget->parentWidget(), nullptr);
    EXPECT_EQ(str(widget->parentWidget()->objectName()), def.container);
    EXPECT_EQ(widget->geometry(), def.geometry);
    EXPECT_EQ(str(shownText(widget)), str(def.text));
  }
}

// Every widget of the window that carries a tooltip.
QStringList tooltipOwners(QWidget& window) {
  QStringList owners;
  for (QWidget* widget : window.findChildren<QWidget*>())
    if (!widget->toolTip().isEmpty()) owners << widget->objectName();
  return owners;
}

const QString kTip = QStringLiteral("越小转站越快，值【0 ～ (（尺最大读数-尺最小读数）/2)】");

class FormMainDefinition : public ::testing::Test {
 protected:
  void SetUp() override { ui.setupUi(&window); }
  QMainWindow window;
  Ui::FormMain ui;
};

TEST_F(FormMainDefinition, TitleSizeAndControls) {
  EXPECT_EQ(str(window.windowTitle()), "普通水准表格");
  EXPECT_EQ(window.size(), QSize(926, 604));
  EXPECT_EQ(window.centralWidget(), ui.client);
  const std::vector<ControlDef> controls = {
      {"PicEXCEL", "QFrame", "client", twips(120, 720, 13935, 7575), {}},
      {"bar", "QWidget", "client", twips(12645, 0, 1245, 9060), {}},
      {"ButtonFx3", "Quellmark::ButtonFx", "bar", twips(120, 0, 975, 975), {}},
      {"ButtonFx2", "Quellmark::ButtonFx", "bar", twips(120, 1080, 975, 975), {}},
      {"ButtonSave", "Quellmark::ButtonFx", "bar", twips(120, 2160, 975, 975), {}},
      {"PicBox", "Quellmark::UserControl1", "bar", twips(0, 3840, 1215, 2655), "已知点"},
      {"Combo1", "QComboBox", "PicBox", twips(0, 600, 1200, 300), "首水准点"},
      {"Combo2", "QComboBox", "PicBox", twips(0, 1080, 1200, 300), "尾水准点"},
      {"Combo3", "QComboBox", "PicBox", twips(0, 1560, 1200, 300), "测站点"},
      {"Combo4", "QComboBox", "PicBox", twips(0, 2040, 1200, 300), "后视点"},
      {"ButtonB1", "Quellmark::ButtonFx", "bar", twips(0, 8520, 615, 615), {}},
      {"ButtonB2", "Quellmark::ButtonFx", "bar", twips(615, 8520, 615, 615), {}},
  };
  expectControls(window, controls);
  EXPECT_EQ(ui.PicEXCEL->frameShape(), QFrame::Box);
  EXPECT_EQ(ui.PicEXCEL->lineWidth(), 1);
  // Picture boxes paint their own ground: nothing behind them shows through.
  EXPECT_TRUE(ui.PicEXCEL->autoFillBackground());
  EXPECT_TRUE(ui.bar->autoFillBackground());
}

TEST_F(FormMainDefinition, CombosAreEmptyEditFields) {
  for (QComboBox* combo : {ui.Combo1, ui.Combo2, ui.Combo3, ui.Combo4}) {
    SCOPED_TRACE(str(combo->objectName()));
    EXPECT_TRUE(combo->isEditable());
    EXPECT_EQ(combo->count(), 0);
  }
}

TEST_F(FormMainDefinition, MenuBarHasFourPlainItems) {
  const QList<QAction*> items = window.menuBar()->actions();
  ASSERT_EQ(items.size(), 4);
  const QStringList names = {"menunew", "menuClac", "menuupdate", "menuQQ"};
  const QStringList captions = {"新建模板", "开始计算", "检查更新"};
  for (int i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(str(names[i]));
    QAction* item = items[i];
    EXPECT_EQ(item->objectName(), names[i]);
    if (i < captions.size()) {
      EXPECT_EQ(str(item->text()), str(captions[i]));
    }
    EXPECT_EQ(item->menu(), nullptr);
    EXPECT_FALSE(item->isCheckable());
    EXPECT_TRUE(item->shortcut().isEmpty());
    EXPECT_TRUE(item->isEnabled());
    EXPECT_TRUE(item->isVisible());
  }
  // The chat-group caption is a placeholder on the reserved example domain.
  EXPECT_TRUE(items[3]->text().contains(QStringLiteral("example.com")));
}

TEST_F(FormMainDefinition, TabOrder) {
  const QStringList order = {"PicEXCEL", "bar",    "ButtonB1", "ButtonFx2", "ButtonFx3", "ButtonB2",
                             "Combo4",   "Combo3", "Combo2",   "Combo1",    "ButtonSave"};
  const QStringList focus = focusable(window, order);
  EXPECT_EQ(focus, (QStringList{"Combo4", "Combo3", "Combo2", "Combo1"}));
  EXPECT_EQ(focusOrder(ui.Combo4, focus), focus);
  EXPECT_TRUE(tooltipOwners(window).isEmpty());
}

struct PictureDef {
  const char* button;
  int size;
};

class ButtonPictures : public FormMainDefinition, public ::testing::WithParamInterface<PictureDef> {};

// The buttons AND their picture with the tint, so a picture must be drawn on white.
TEST_P(ButtonPictures, SizedJpegOnWhiteGround) {
  const PictureDef def = GetParam();
  auto* button = window.findChild<Quellmark::ButtonFx*>(QString::fromLatin1(def.button));
  ASSERT_NE(button, nullptr);
  const QImage picture = button->PicturePixmap().toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(picture.size(), QSize(def.size, def.size));
  EXPECT_EQ(button->Picture().kind(), Quellmark::ButtonPicture::Kind::Bitmap);

  int white = 0;
  int dark = 0;
  for (int y = 0; y < picture.height(); ++y) {
    for (int x = 0; x < picture.width(); ++x) {
      const int grey = qGray(picture.pixel(x, y));
      white += grey >= 245;
      dark += grey < 110;
    }
  }
  const int area = def.size * def.size;
  EXPECT_GT(white, area / 5);
  EXPECT_GT(dark, area / 20);
  EXPECT_GE(qGray(picture.pixel(0, 0)), 245);
}

INSTANTIATE_TEST_SUITE_P(Pictures, ButtonPictures,
                         ::testing::Values(PictureDef{"ButtonFx3", 64}, PictureDef{"ButtonFx2", 64},
                                           PictureDef{"ButtonSave", 64}, PictureDef{"ButtonB1", 32},
                                           PictureDef{"ButtonB2", 32}),
                         testsupport::NameBy([](const PictureDef& c) { return c.button; }));

TEST(WindowPictures, ButtonsAreJpegResources) {
  for (const char* name : {"NewWorkbook", "Compute", "Save", "Project", "Settings"}) {
    SCOPED_TRACE(name);
    QImageReader reader(QStringLiteral(":/windows/pictures/%1.jpg").arg(QLatin1String(name)));
    EXPECT_EQ(reader.format(), QByteArray("jpeg"));
    EXPECT_FALSE(reader.read().isNull());
  }
}

TEST_F(FormMainDefinition, IconIs48PixelsIn16Colours) {
  EXPECT_FALSE(window.windowIcon().isNull());
  const QImage icon(QStringLiteral(":/windows/pictures/LevelBook.png"));
  ASSERT_EQ(icon.size(), QSize(48, 48));
  QSet<QRgb> colours;
  for (int y = 0; y < icon.height(); ++y)
    for (int x = 0; x < icon.width(); ++x) colours.insert(icon.pixel(x, y));
  EXPECT_LE(colours.size(), 16);
  EXPECT_GE(colours.size(), 4);
}

class FormSetDefinition : public ::testing::Test {
 protected:
  void SetUp() override { ui.setupUi(&dialog); }
  QDialog dialog;
  Ui::FormSet ui;
};

TEST_F(FormSetDefinition, TitleSizeAndControls) {
  EXPECT_TRUE(dialog.windowTitle().isEmpty());
  EXPECT_EQ(dialog.size(), QSize(535, 448));
  const std::vector<ControlDef> controls = {
      {"UserControl11", "Quellmark::UserControl1", "FormSet", twips(0, 0, 3255, 6015), "水准平面设置"},
      {"LabelInfo_0", "QLabel", "UserControl11", twips(240, 600, 1260, 180), "平面位置负误差"},
      {"TextPM_0", "QLineEdit", "UserControl11", twips(1800, 570, 1095, 270), "-5"},
      {"LabelInfo_1", "QLabel", "UserControl11", twips(240, 990, 1260, 180), "平面位置正误差"},
      {"TextPM_1", "QLineEdit", "UserControl11", twips(1800, 960, 1095, 270), "5"},
      {"LabelInfo_9", "QLabel", "UserControl11", twips(240, 1470, 1260, 180), "水准尺最小读数"},
      {"TextSZ_0", "QLineEdit", "UserControl11", twips(1800, 1440, 1095, 270), "0.2"},
      {"LabelInfo_10", "QLabel", "UserControl11", twips(240, 1860, 1260, 180), "水准尺最大读数"},
      {"TextSZ_1", "QLineEdit", "UserControl11", twips(1800, 1830, 1095, 270), "4.8"},
      {"LabelInfo_2", "QLabel", "UserControl11", twips(240, 2310, 1440, 180), "水准中间点负误差"},
      {"TextSZ_2", "QLineEdit", "UserControl11", twips(1800, 2280, 1095, 270), "-3"},
      {"LabelInfo_3", "QLabel", "UserControl11", twips(240, 2730, 1440, 180), "水准中间点正误差"},
      {"TextSZ_3", "QLineEdit", "UserControl11", twips(1800, 2670, 1095, 270), "3"},
      {"LabelInfo_4", "QLabel", "UserControl11", twips(240, 3150, 1440, 180), "水准点闭合负误差"},
      {"TextSZ_4", "QLineEdit", "UserControl11", twips(1800, 3120, 1095, 270), "-2"},
      {"LabelInfo_5", "QLabel", "UserControl11", twips(240, 3540, 1440, 180), "水准点闭合正误差"},
      {"TextSZ_5", "QLineEdit", "UserControl11", twips(1800, 3510, 1095, 270), "2"},
      {"LabelInfo_6", "QLabel", "UserControl11", twips(240, 3990, 1260, 180), "水准快速转站值"},
      {"TextSZ_6", "QLineEdit", "UserControl11", twips(1800, 3960, 1095, 270), "0.6"},
      {"LabelInfo_7", "QLabel", "UserControl11", twips(240, 4350, 1260, 180), "水准转站点前缀"},
      {"TextSZ_7", "QLineEdit", "UserControl11", twips(1800, 4320, 1095, 270), "ZD"},
      {"CheckSZ", "QCheckBox", "UserControl11", twips(360, 4800, 200, 200), {}},
      {"LabelInfo_8", "QLabel", "UserControl11", twips(720, 4800, 1080, 180), "显示转点高程"},
      {"CheckZJD", "QCheckBox", "UserControl11", twips(360, 5040, 200, 200), {}},
      {"LabelInfo_16", "QLabel", "UserControl11", twips(720, 5040, 1620, 180), "显示中间点为前视点"},
      {"CheckMiters", "QCheckBox", "UserControl11", twips(360, 5280, 200, 200), {}},
      {"LabelInfo_17", "QLabel", "UserControl11", twips(720, 5280, 1710, 180), "以m为单位显示前后视"},
      {"UserControl13", "Quellmark::UserControl1", "FormSet", twips(3240, 2040, 4695, 3975), "关于 V1.1"},
      {"CmdSet", "QPushButton", "FormSet", twips(4440, 6240, 1455, 375), "设置"},
      {"CmdOK_0", "QPushButton", "FormSet", twips(6240, 6240, 1455, 375), "取消"},
  };
  expectControls(dialog, controls);
  EXPECT_EQ(ui.LabelInfo_15->parentWidget(), ui.UserControl13);
  EXPECT_EQ(ui.LabelInfo_15->geometry(), twips(360, 600, 3975, 2280));
  EXPECT_EQ(ui.LabelInfo_14->parentWidget(), &dialog);
  EXPECT_EQ(ui.LabelInfo_14->geometry(), twips(360, 6360, 2520, 180));
}

TEST_F(FormSetDefinition, CheckBoxesAreBareAndChecked) {
  for (QCheckBox* box : {ui.CheckSZ, ui.CheckZJD, ui.CheckMiters}) {
    SCOPED_TRACE(str(box->objectName()));
    EXPECT_TRUE(box->text().isEmpty());
    EXPECT_TRUE(box->isChecked());
  }
}

TEST_F(FormSetDefinition, VersionNotes) {
  const QStringList lines = ui.LabelInfo_15->text().split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(str(lines[0]), "V1.0 版本");
  EXPECT_EQ(str(lines[1]),
            "     功能简陋,但是对于常规水准测量的计算还是很准确很快速的.供测量同行免费试用和使用.");
  EXPECT_EQ(str(lines[2]), "V2.0 版本 ");
  EXPECT_TRUE(lines[3].startsWith(QStringLiteral("     开发中,希望大家多提意见.")));
  EXPECT_TRUE(lines[3].contains(QStringLiteral("example.com")));
  EXPECT_TRUE(ui.LabelInfo_15->wordWrap());
  EXPECT_TRUE(ui.LabelInfo_15->alignment() & Qt::AlignTop);
}

TEST_F(FormSetDefinition, LabelsTransparentLinkNavy) {
  for (QLabel* label : dialog.findChildren<QLabel*>()) {
    SCOPED_TRACE(str(label->objectName()));
    EXPECT_FALSE(label->autoFillBackground());
    EXPECT_FALSE(label->wordWrap() && label != ui.LabelInfo_15);
  }
  EXPECT_EQ(ui.LabelInfo_14->palette().color(QPalette::WindowText), QColor(0, 0, 128));
  EXPECT_FALSE(ui.LabelInfo_14->text().isEmpty());
}

TEST_F(FormSetDefinition, TabOrderAndTooltip) {
  const QStringList order = {"CmdOK_0",      "CmdSet",      "LabelInfo_0", "TextPM_0",     "TextPM_1",
                             "LabelInfo_1",  "TextSZ_2",    "LabelInfo_2", "TextSZ_3",     "LabelInfo_3",
                             "TextSZ_4",     "LabelInfo_4", "TextSZ_5",    "LabelInfo_5",  "TextSZ_6",
                             "LabelInfo_6",  "TextSZ_7",    "LabelInfo_7", "CheckSZ",      "LabelInfo_8",
                             "TextSZ_0",     "LabelInfo_9", "TextSZ_1",    "LabelInfo_10", "LabelInfo_14",
                             "LabelInfo_15", "CheckZJD",    "CheckMiters", "LabelInfo_16", "LabelInfo_17"};
  const QStringList focus = focusable(dialog, order);
  EXPECT_EQ(focus.size(), 15);
  EXPECT_EQ(focusOrder(ui.CmdOK_0, focus), focus);
  for (QLabel* label : dialog.findChildren<QLabel*>())
    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus) << str(label->objectName());
  EXPECT_EQ(tooltipOwners(dialog), QStringList{"TextSZ_6"});
  EXPECT_EQ(str(ui.TextSZ_6->toolTip()), str(kTip));
}

class FormPjDefinition : public ::testing::Test {
 protected:
  void SetUp() override { ui.setupUi(&window); }
  QWidget window;
  Ui::FormPj ui;
};

TEST_F(FormPjDefinition, TitleSizeAndControls) {
  EXPECT_TRUE(window.windowTitle().isEmpty());
  EXPECT_EQ(window.size(), QSize(440, 185));
  const QString waiting = QStringLiteral("期待2.0版本");
  const std::vector<ControlDef> controls = {
      {"UserControl11", "Quellmark::UserControl1", "FormPj", twips(0, 0, 6615, 2775), "项目文件设置"},
      {"LabelInfo_2", "QLabel", "UserControl11", twips(240, 510, 1260, 180), "项目文件(*.Pj)"},
      {"TextPM_2", "QLineEdit", "UserControl11", twips(1920, 480, 3615, 270), waiting},
      {"Command3", "QPushButton", "UserControl11", twips(5640, 480, 735, 255), "..."},
      {"LabelInfo_3", "QLabel", "UserControl11", twips(240, 1080, 1530, 180), "项目数据库(*.xls)"},
      {"TextPM_3", "QLineEdit", "UserControl11", twips(1920, 1050, 3615, 270), waiting},
      {"Command4", "QPushButton", "UserControl11", twips(5640, 1050, 735, 255), "..."},
      {"LabelInfo_1", "QLabel", "UserControl11", twips(240, 1470, 1530, 180), "导线点文件(*.dxd)"},
      {"TextPM_1", "QLineEdit", "UserControl11", twips(1920, 1440, 3615, 270), waiting},
      {"Command2", "QPushButton", "UserControl11", twips(5640, 1440, 735, 255), "..."},
      {"LabelInfo_0", "QLabel", "UserControl11", twips(240, 1920, 1530, 180), "水准点文件(*.szd)"},
      {"TextPM_0", "QLineEdit", "UserControl11", twips(1920, 1890, 3615, 270), waiting},
      {"Command1", "QPushButton", "UserControl11", twips(5640, 1920, 735, 255), "..."},
      {"Command5", "QPushButton", "UserControl11", twips(2640, 2280, 1455, 375), "保存项目"},
  };
  expectControls(window, controls);
  for (QLineEdit* edit : window.findChildren<QLineEdit*>())
    EXPECT_FALSE(edit->isReadOnly()) << str(edit->objectName());
}

TEST_F(FormPjDefinition, TabOrderWithoutTooltips) {
  const QStringList order = {"TextPM_0",    "LabelInfo_0", "Command1", "TextPM_1", "LabelInfo_1",
                             "Command2",    "Command3",    "TextPM_2", "Command4", "TextPM_3",
                             "LabelInfo_2", "LabelInfo_3", "Command5"};
  const QStringList focus = focusable(window, order);
  EXPECT_EQ(focus.size(), 9);
  EXPECT_EQ(focusOrder(ui.TextPM_0, focus), focus);
  EXPECT_TRUE(tooltipOwners(window).isEmpty());
}

}  // namespace

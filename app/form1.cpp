#include "form1.h"

#include "layout.h"
#include "playerwidget.h"
#include "resolvecommand.h"
#include "settings.h"

#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace velmora {

namespace {

// The designed face, then CJK faces that Linux machines have, so that no
// text shows as boxes where the designed one is missing.
QFont designedFont(double pointSize)
{
    QFont font;
    font.setFamilies({QString::fromUtf8(texts::kDesignedFontFace),
                      QStringLiteral("Microsoft YaHei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSizeF(pointSize);
    font.setWeight(QFont::Normal);
    return font;
}

template <typename W> W *place(W *widget, layout::Twips where)
{
    widget->setGeometry(layout::toPixels(where));
    return widget;
}

} // namespace

QString ExamplePlayPageAddress()
{
    return QStringLiteral("http://%1/play/169309.html").arg(QString::fromUtf8(settings::kSiteHost));
}

Form1::Form1(const ResolveOptions &resolver, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QString::fromUtf8(texts::kTitle));
    setWindowIcon(QIcon(QStringLiteral(":/icons/velmora.svg")));
    setFixedSize(layout::clientSize()); // nothing moves on resize, so none is offered

    Label1 = place(new QLabel(QString::fromUtf8(texts::kPrompt), this), layout::kLabel1);
    Label1->setFont(designedFont(layout::kInputFontPt));

    Text1 = place(new QLineEdit(this), layout::kText1);
    Text1->setFont(designedFont(layout::kInputFontPt));

    Label2 =
        place(new QLabel(QString::fromUtf8(texts::kExamplePrefix) + ExamplePlayPageAddress(), this),
              layout::kLabel2);
    Label2->setTextFormat(Qt::PlainText);

    Command1 =
        place(new QPushButton(QString::fromUtf8(texts::kResolveButton), this), layout::kCommand1);
    Command1->setAutoDefault(false);
    Command1->setDefault(false);

    Text2 = place(new QLineEdit(this), layout::kText2);
    Text2->setFont(designedFont(layout::kResultFontPt));
    Text2->setReadOnly(true); // selectable, so the address can be copied

    W1 = place(new PlayerWidget(this), layout::kPlayer);

    Command2 =
        place(new QPushButton(QString::fromUtf8(texts::kSpareButton), this), layout::kCommand2);
    Command2->setAutoDefault(false);

    // Tab order: Command1, Text1, Command2, Text2, the player; labels take no focus.
    setTabOrder(Command1, Text1);
    setTabOrder(Text1, Command2);
    setTabOrder(Command2, Text2);
    setTabOrder(Text2, W1);
    Command1->setFocus();

    m_command = new ResolveCommand({this, Text1, Command1, Text2, W1}, m_network, resolver, this);
    connect(Command1, &QPushButton::clicked, m_command, &ResolveCommand::run);
}

Form1::~Form1()
{
    // Take the command (and any request in flight) down before the network
    // manager member goes, so no answer arrives into a half-destroyed window.
    delete m_command;
}

} // namespace velmora

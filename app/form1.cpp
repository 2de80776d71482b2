#include "form1.h"

#include "controlchars.h"
#include "layout.h"
#include "messagebox.h"
#include "playerwidget.h"
#include "request.h"
#include "resolvecommand.h"
#include "savecommand.h"
#include "settings.h"
#include "texts.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFont>
#include <QGuiApplication>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QShortcut>

#include <limits>

namespace velmora {

namespace {

// The designed face, then CJK faces that Linux machines have, so that no
// text shows as boxes where the designed one is missing.
QFont designedFont(double pointSize)
{
    QFont font;
    font.setFamilies({texts::kDesignedFontFace.toString(), QStringLiteral("Microsoft YaHei"),
                      QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Micro Hei")});
    font.setPointSizeF(pointSize);
    return font;
}

template <typename W> W *place(W *widget, layout::Twips where)
{
    widget->setGeometry(layout::toPixels(where));
    return widget;
}

} // namespace

Form1::Form1(const ResolveOptions &resolver, QWidget *parent) : QWidget(parent)
{
    setWindowTitle(texts::kTitle.toString());
    QIcon icon;
    for (const int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/velmora-%1.png").arg(size));
    setWindowIcon(icon);
    setFixedSize(layout::clientSize()); // nothing moves on resize, so none is offered

    Label1 = place(new QLabel(texts::kPrompt.toString(), this), layout::kLabel1);
    Label1->setFont(designedFont(layout::kInputFontPt));

    Text1 = place(new QLineEdit(this), layout::kText1);
    Text1->setFont(designedFont(layout::kInputFontPt));
    // No cut: a long pasted text must reach the address at its end.
    Text1->setMaxLength(std::numeric_limits<int>::max());

    Label2 = place(new QLabel(texts::kExamplePrefix.toString() + texts::examplePlayPageAddress(), this),
                   layout::kLabel2);
    Label2->setTextFormat(Qt::PlainText);

    Command1 = place(new QPushButton(texts::kResolveButton.toString(), this), layout::kCommand1);

    Text2 = place(new QLineEdit(this), layout::kText2);
    Text2->setFont(designedFont(layout::kResultFontPt));
    Text2->setReadOnly(true); // selectable, so the address can be copied
    // It shows exactly the address the player was given, however long.
    Text2->setMaxLength(std::numeric_limits<int>::max());

    W1 = place(new PlayerWidget(resolver.fetch, this), layout::kPlayer);

    Command2 = place(new QPushButton(texts::kSpareButton.toString(), this), layout::kCommand2);

    Text1->setAccessibleName(texts::kInputName.toString());
    Text1->setAccessibleDescription(texts::kInputDescription.toString());
    Command1->setAccessibleDescription(texts::kResolveDescription.toString());
    Text2->setAccessibleName(texts::kResultName.toString());
    Text2->setAccessibleDescription(texts::kResultDescription.toString());
    Command2->setAccessibleName(texts::kSpareName.toString());
    W1->setAccessibleName(texts::kPlayerName.toString());

    // Tab order: Command1, Text1, Command2, Text2, the player; labels take no focus.
    setTabOrder(Command1, Text1);
    setTabOrder(Text1, Command2);
    setTabOrder(Command2, Text2);
    setTabOrder(Text2, W1);
    Command1->setFocus();

    m_command = new ResolveCommand({this, Text1, Command1, Text2, W1}, resolver, this);
    connect(Command1, &QPushButton::clicked, m_command, &ResolveCommand::run);
    // Esc gives up on a resolve that keeps the listener waiting.
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, m_command,
            &ResolveCommand::cancel);
    connect(Text1, &QLineEdit::textEdited, m_command, &ResolveCommand::warmUp);
    m_save = new SaveCommand(this, W1, resolver, this);

    // Drops go to the window as a whole, not into a text box.
    setAcceptDrops(true);
    Text1->setAcceptDrops(false);
    Text2->setAcceptDrops(false);
    // Ready to paste: a play page on the clipboard is offered, not resolved.
    if (const QString copied = QGuiApplication::clipboard()->text(); usableTrackId(copied)) {
        Text1->setText(copied);
        Text1->selectAll();
    }
}

namespace {

// The text a velmora: link carries, or the text itself when it is none.
QString addressIn(const QString &text)
{
    static const QRegularExpression link(QStringLiteral("^velmora:(//)?"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch scheme = link.match(text);
    if (!scheme.hasMatch())
        return text;
    return QUrl::fromPercentEncoding(text.mid(scheme.capturedLength()).toUtf8());
}

// What may enter the input box from outside: no control, which would sit
// there unseen (a NUL from "%00") or reorder the address; line breaks and
// tabs between words become spaces.
QString typable(const QString &text)
{
    QString kept;
    for (const QChar c : text) {
        if (!isControl(c.unicode()) && !isBidiControl(c.unicode()))
            kept += c;
        else if (c.isSpace())
            kept += u' ';
    }
    return kept;
}

} // namespace

void Form1::openAddress(const QString &text)
{
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
    if (!text.isEmpty())
        m_command->open(typable(addressIn(text)));
}

namespace {

// What a drop holds: its links, else its text.
QString droppedText(const QMimeData *data)
{
    if (data->hasUrls()) {
        QStringList links;
        for (const QUrl &url : data->urls())
            links << url.toString();
        return links.join(u' ');
    }
    return data->hasText() ? data->text() : QString();
}

} // namespace

void Form1::closeEvent(QCloseEvent *event)
{
    if (!m_save->isSaving())
        return QWidget::closeEvent(event);
    event->ignore();
    QMessageBox *box =
        newMessageBox(QMessageBox::Question, texts::kCloseWhileSavingTitle,
                      texts::kCloseWhileSaving, QMessageBox::Yes | QMessageBox::No, this);
    box->setDefaultButton(QMessageBox::No);
    connect(box, &QMessageBox::finished, this, [this](int answer) {
        if (answer != QMessageBox::Yes)
            return;
        m_save->cancel(); // the part file stays for the next save
        close();
    });
    // A save that ended meanwhile leaves nothing to ask about; its outcome
    // is in the status line, and the window stays.
    connect(m_save, &SaveCommand::finished, box, [box] { box->done(QMessageBox::No); });
    box->open();
}

void Form1::dragEnterEvent(QDragEnterEvent *event)
{
    if (!droppedText(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void Form1::dropEvent(QDropEvent *event)
{
    event->acceptProposedAction();
    openAddress(droppedText(event->mimeData()));
}

} // namespace velmora

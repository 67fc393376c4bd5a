#include "ui/components/LoadingView.h"

#include "core/LoadingModel.h"
#include "ui/components/ActivityIndicator.h"
#include "ui/styles/Styles.h"

#include <QChildEvent>
#include <QGraphicsOpacityEffect>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QVBoxLayout>

LoadingView::LoadingView(QWidget* container) : QWidget(container), m_activityIndicator(new ActivityIndicator)
{
    setObjectName(QStringLiteral("LoadingView"));
    QPalette palette = this->palette();
    // The spinner takes the platform's primary colour whatever the page around it uses.
    palette.setColor(QPalette::WindowText, QGuiApplication::palette().color(QPalette::WindowText));
    setPalette(palette);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_activityIndicator, 0, Qt::AlignCenter);

    // Ground and spinner fade together, as one layer.
    auto* opacity = new QGraphicsOpacityEffect(this);
    opacity->setOpacity(Styles::busyOverlayOpacity);
    setGraphicsEffect(opacity);

    if (container) {
        setGeometry(container->rect());
        container->installEventFilter(this);
    }
    raise();
}

ActivityIndicator* LoadingView::activityIndicator() const
{
    return m_activityIndicator;
}

void LoadingView::attach(QWidget* container, LoadingModel* model)
{
    const auto follow = [container](bool isLoading) {
        LoadingView* overlay = over(container);
        if (isLoading && !overlay)
            (new LoadingView(container))->show();
        else if (!isLoading && overlay)
            delete overlay;
    };
    QObject::connect(model, &LoadingModel::isLoadingChanged, container, follow);
    follow(model->isLoading());
}

LoadingView* LoadingView::over(const QWidget* container)
{
    return container->findChild<LoadingView*>(QString(), Qt::FindDirectChildrenOnly);
}

bool LoadingView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == parent()) {
        if (event->type() == QEvent::Resize) {
            setGeometry(parentWidget()->rect());
        } else if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished) {
            if (static_cast<QChildEvent*>(event)->child() != this)
                raise();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void LoadingView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Styles::busyOverlayColor());
}

#include "ui/pages/media_preview.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

#if ZT_HAVE_MULTIMEDIA
#include <QAudioDevice>
#include <QAudioOutput>
#include <QMediaDevices>
#include <QMediaPlayer>
#include <QVideoWidget>
#endif

namespace zt::ui {

void PreferFfmpegMediaBackend() {
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "ffmpeg");
}

struct MediaPreview::Player {
    QString source;
    QVBoxLayout* screen = nullptr;
    QPushButton* play = nullptr;
    QPushButton* stop = nullptr;
    QSlider* position = nullptr;
#if ZT_HAVE_MULTIMEDIA
    QMediaPlayer* player = nullptr;
    QAudioOutput* audio = nullptr;
    QVideoWidget* video = nullptr;
#endif
};

MediaPreview::MediaPreview(QWidget* parent) : QWidget(parent), m_player(new Player) {
    setAccessibleName(QStringLiteral("Media player"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    layout->setSpacing(2);
    m_player->screen = new QVBoxLayout;
    layout->addLayout(m_player->screen, 1);
    auto* bar = new QHBoxLayout;
    m_player->play = new QPushButton(style()->standardIcon(QStyle::SP_MediaPlay), QString(), this);
    m_player->play->setAccessibleName(QStringLiteral("Play"));
    m_player->play->setToolTip(QStringLiteral("Play"));
    m_player->stop = new QPushButton(style()->standardIcon(QStyle::SP_MediaStop), QString(), this);
    m_player->stop->setAccessibleName(QStringLiteral("Stop playing"));
    m_player->stop->setToolTip(QStringLiteral("Stop playing"));
    m_player->position = new QSlider(Qt::Horizontal, this);
    m_player->position->setAccessibleName(QStringLiteral("Position"));
    bar->addWidget(m_player->play);
    bar->addWidget(m_player->stop);
    bar->addWidget(m_player->position, 1);
    layout->addLayout(bar);
    connect(m_player->stop, &QPushButton::clicked, this, &MediaPreview::Stop);
    connect(m_player->play, &QPushButton::clicked, this, [this] {
#if ZT_HAVE_MULTIMEDIA
        if (Backend()) m_player->player->play();
#endif
    });
#if !ZT_HAVE_MULTIMEDIA
    auto* note = new QLabel(QStringLiteral("Sound and video cannot be played here."), this);
    note->setAlignment(Qt::AlignCenter);
    m_player->screen->addWidget(note);
    m_player->play->setEnabled(false);
    m_player->stop->setEnabled(false);
    m_player->position->setEnabled(false);
#endif
    hide();
}

bool MediaPreview::Backend() {
#if ZT_HAVE_MULTIMEDIA
    // Made on first use, so pages that only show pictures never load a media backend.
    if (m_player->player == nullptr) {
        m_player->player = new QMediaPlayer(this);
        // Without a sound device the player is given no audio output: this Qt
        // release's player fails on an output that has no device behind it.
        if (!QMediaDevices::audioOutputs().isEmpty()) {
            m_player->audio = new QAudioOutput(this);
            m_player->player->setAudioOutput(m_player->audio);
        }
        m_player->video = new QVideoWidget(this);
        m_player->video->setAccessibleName(QStringLiteral("Video"));
        m_player->player->setVideoOutput(m_player->video);
        m_player->screen->addWidget(m_player->video);
        QMediaPlayer* player = m_player->player;
        connect(player, &QMediaPlayer::durationChanged, this,
                [this](qint64 ms) { m_player->position->setRange(0, static_cast<int>(ms / 100)); });
        connect(player, &QMediaPlayer::positionChanged, this, [this](qint64 ms) {
            if (!m_player->position->isSliderDown()) m_player->position->setValue(static_cast<int>(ms / 100));
        });
        connect(m_player->position, &QSlider::sliderMoved, player,
                [player](int tenths) { player->setPosition(qint64{tenths} * 100); });
    }
    return m_player->player->isAvailable();
#else
    return false;
#endif
}

MediaPreview::~MediaPreview() {
#if ZT_HAVE_MULTIMEDIA
    // Its last signals reach the controls, which go before the player otherwise.
    if (m_player->player != nullptr) {
        m_player->player->disconnect(this);
        delete m_player->player;
    }
#endif
    delete m_player;
}

void MediaPreview::SetFull(bool full) {
    m_full = full;
    setVisible(full);
}

void MediaPreview::Close() {
    m_player->source.clear();
#if ZT_HAVE_MULTIMEDIA
    if (m_player->player == nullptr) return;
    m_player->player->stop();
    m_player->player->setSource(QUrl());
#endif
}

void MediaPreview::Play(const QString& path) {
    m_player->source = path;
#if ZT_HAVE_MULTIMEDIA
    if (!Backend()) return;
    m_player->player->setSource(QUrl::fromLocalFile(path));
    m_player->player->play();
#endif
}

void MediaPreview::Stop() {
#if ZT_HAVE_MULTIMEDIA
    if (m_player->player != nullptr) m_player->player->stop();
#endif
}

bool MediaPreview::Available() { return Backend(); }

bool MediaPreview::Playing() const {
#if ZT_HAVE_MULTIMEDIA
    return m_player->player != nullptr && m_player->player->playbackState() == QMediaPlayer::PlayingState;
#else
    return false;
#endif
}

QString MediaPreview::Source() const { return m_player->source; }

}  // namespace zt::ui

#include "platform/Mpris.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QUrl>
#include <cmath>

#include "playlist/Entries.h"

namespace mirvo {
namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kNoTrack = QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack");

// The hot-key actions the media controls share.
enum Action { kPlayPause = 1, kStop = 2, kNext = 3, kPrevious = 4 };

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

MprisRoot::MprisRoot(MprisService& service) : QDBusAbstractAdaptor(&service), service_(service) {}

QStringList MprisRoot::SupportedMimeTypes() const {
    return {QStringLiteral("audio/mpeg"),         QStringLiteral("audio/x-wav"),
            QStringLiteral("audio/wav"),          QStringLiteral("audio/ogg"),
            QStringLiteral("audio/x-vorbis+ogg"), QStringLiteral("audio/flac"),
            QStringLiteral("audio/x-opus+ogg"),   QStringLiteral("audio/opus"),
            QStringLiteral("audio/mp4"),          QStringLiteral("audio/x-m4a"),
            QStringLiteral("audio/x-wavpack"),    QStringLiteral("audio/x-ape"),
            QStringLiteral("audio/x-mpegurl"),    QStringLiteral("audio/x-scpls")};
}

void MprisRoot::Raise() {
    service_.reach_.view.BringToFront();
}

void MprisRoot::Quit() {
    service_.reach_.loop.Quit();
}

MprisPlayer::MprisPlayer(MprisService& service)
    : QDBusAbstractAdaptor(&service), service_(service) {}

QString MprisPlayer::PlaybackStatus() const {
    switch (service_.session_.engine().OutputState()) {
        case audio::kActiveStopped:
            return QStringLiteral("Stopped");
        case audio::kActivePaused:
            return QStringLiteral("Paused");
        default:
            return QStringLiteral("Playing");
    }
}

QVariantMap MprisPlayer::Metadata() const {
    return service_.metadata_;
}

double MprisPlayer::Volume() const {
    return service_.reach_.engine.Volume / 1000.0;
}

void MprisPlayer::SetVolume(double volume) {
    if (std::isfinite(volume)) {
        service_.session_.engine().SetVolume(
            static_cast<int>(std::lround(std::clamp(volume, 0.0, 1.0) * 1000)));
    }
}

qlonglong MprisPlayer::Position() const {
    return service_.PositionMs() * 1000;
}

bool MprisPlayer::CanSeek() const {
    return !service_.station_ && service_.metadata_.contains(QStringLiteral("mpris:length"));
}

void MprisPlayer::Play() {
    if (!service_.Playing()) {
        service_.session_.commands().HotKey(kPlayPause);
    }
}

void MprisPlayer::Pause() {
    if (service_.Playing()) {
        service_.session_.commands().HotKey(kPlayPause);
    }
}

void MprisPlayer::PlayPause() {
    service_.session_.commands().HotKey(kPlayPause);
}

void MprisPlayer::Stop() {
    service_.session_.commands().HotKey(kStop);
}

void MprisPlayer::Next() {
    service_.session_.commands().HotKey(kNext);
}

void MprisPlayer::Previous() {
    service_.session_.commands().HotKey(kPrevious);
}

void MprisPlayer::Seek(qlonglong offset) {
    if (!CanSeek() || service_.session_.engine().OutputState() == audio::kActiveStopped) {
        return;
    }
    Engine& engine = service_.session_.engine();
    const std::int64_t target = std::max<std::int64_t>(0, service_.PositionMs() + offset / 1000);
    // Beyond the end means the next track.
    if (target >= service_.lengthMs_) {
        Next();
        return;
    }
    engine.SeekTo(engine.MsToBytes(target));
}

void MprisPlayer::SetPosition(const QDBusObjectPath& track, qlonglong position) {
    Engine& engine = service_.session_.engine();
    if (!CanSeek() || track != service_.track_ || position < 0 ||
        position / 1000 > service_.lengthMs_) {
        return;
    }
    engine.SeekTo(engine.MsToBytes(position / 1000));
}

void MprisPlayer::OpenUri(const QString& uri) {
    const QUrl url(uri);
    if (url.isLocalFile()) {
        service_.application_.ReceivePath(url.toLocalFile().toStdString());
    }
}

MprisService::Reach::Reach(Player& player)
    : view(player.ui.view), loop(player.ui.loop), engine(player.engine), events(player.events) {}

MprisService::MprisService(const Reach& reach, Session& session, Application& application)
    : reach_(reach), session_(session), application_(application) {
    new MprisRoot(*this);
    player_ = new MprisPlayer(*this);
    metadata_[QStringLiteral("mpris:trackid")] = QVariant::fromValue(QDBusObjectPath(kNoTrack));
    track_ = QDBusObjectPath(kNoTrack);
    QDBusConnection bus = QDBusConnection::sessionBus();
    registered_ = bus.isConnected() && bus.registerObject(kPath, this) &&
                  bus.registerService(QStringLiteral("org.mpris.MediaPlayer2.mirvo"));
    reach_.events.Attach(*this);
}

MprisService::~MprisService() {
    reach_.events.Detach(*this);
    if (registered_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterService(QStringLiteral("org.mpris.MediaPlayer2.mirvo"));
        bus.unregisterObject(kPath);
    }
}

bool MprisService::Playing() const {
    const std::uint32_t state = session_.engine().OutputState();
    return state == audio::kActivePlaying || state == audio::kActiveStalled;
}

std::int64_t MprisService::PositionMs() const {
    const Engine& engine = session_.engine();
    return engine.OutputState() == audio::kActiveStopped
               ? 0
               : engine.BytesToMs(engine.CurrentPositionBytes());
}

void MprisService::TrackAudible(const AudibleTrack& track) {
    const std::string& entry = track.entry;
    const std::int64_t lengthMs = track.lengthMs;
    station_ = track.kind == kKindStream;
    lengthMs_ = lengthMs;
    const std::string address(EntryAddress(entry));
    QVariantMap m;
    track_ = QDBusObjectPath(QStringLiteral("/org/mirvo/track/") + QString::number(++trackNumber_));
    m[QStringLiteral("mpris:trackid")] = QVariant::fromValue(track_);
    if (!station_) {
        m[QStringLiteral("mpris:length")] = static_cast<qlonglong>(lengthMs) * 1000;
        m[QStringLiteral("xesam:url")] =
            QString::fromLatin1(QUrl::fromLocalFile(Text(address)).toEncoded());
    } else {
        const QUrl url(Text(address), QUrl::TolerantMode);
        m[QStringLiteral("xesam:url")] =
            url.isValid() ? QString::fromLatin1(url.toEncoded()) : Text(address);
    }
    const TrackTags& tags = track.tags;
    const std::string title =
        tags.Title.empty() ? std::string(FileNamePart(EntryTitle(entry))) : tags.Title;
    m[QStringLiteral("xesam:title")] = Text(title);
    if (!tags.Artist.empty()) {
        m[QStringLiteral("xesam:artist")] = QStringList{Text(tags.Artist)};
    }
    if (!tags.Album.empty()) {
        m[QStringLiteral("xesam:album")] = Text(tags.Album);
    }
    metadata_ = m;
    Announce({{QStringLiteral("Metadata"), metadata_},
              {QStringLiteral("CanSeek"), player_->CanSeek()},
              {QStringLiteral("PlaybackStatus"), player_->PlaybackStatus()}});
}

void MprisService::StationTitleChanged(const std::string& title) {
    if (!station_) {
        return;
    }
    // Stations send "Artist - Title"; applets show the two apart.
    const std::size_t dash = title.find(" - ");
    if (dash != std::string::npos && dash > 0 && dash + 3 < title.size()) {
        metadata_[QStringLiteral("xesam:artist")] = QStringList{Text(title.substr(0, dash))};
        metadata_[QStringLiteral("xesam:title")] = Text(title.substr(dash + 3));
    } else {
        metadata_.remove(QStringLiteral("xesam:artist"));
        metadata_[QStringLiteral("xesam:title")] = Text(title);
    }
    Announce({{QStringLiteral("Metadata"), metadata_}});
}

void MprisService::StateChanged(PlayState state) {
    if (state == PlayState::Stopped) {
        metadata_ = {
            {QStringLiteral("mpris:trackid"), QVariant::fromValue(QDBusObjectPath(kNoTrack))}};
        track_ = QDBusObjectPath(kNoTrack);
        Announce({{QStringLiteral("PlaybackStatus"), QStringLiteral("Stopped")},
                  {QStringLiteral("Metadata"), metadata_},
                  {QStringLiteral("CanSeek"), false}});
        return;
    }
    Announce(
        {{QStringLiteral("PlaybackStatus"),
          state == PlayState::Playing ? QStringLiteral("Playing") : QStringLiteral("Paused")}});
}

void MprisService::VolumeChanged(int volume) {
    Announce({{QStringLiteral("Volume"), volume / 1000.0}});
}

void MprisService::PositionJumped(std::int64_t positionMs) {
    emit player_->Seeked(static_cast<qlonglong>(positionMs) * 1000);
}

void MprisService::Announce(const QVariantMap& changed) {
    if (!registered_) {
        return;
    }
    QDBusMessage signal =
        QDBusMessage::createSignal(kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                   QStringLiteral("PropertiesChanged"));
    signal << kPlayerInterface << changed << QStringList();
    QDBusConnection::sessionBus().send(signal);
}

}  // namespace mirvo

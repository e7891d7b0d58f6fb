#include "platform/x11/x11keyboard.h"

#include "platform/x11/x11keycodes.h"

#include <QSocketNotifier>

#include <xcb/xcb.h>
#include <xcb/xcbext.h>
#include <xcb/xinput.h>
// The XKB header names a field "explicit", a C++ keyword.
#define explicit explicit_
#include <xcb/xkb.h>
#undef explicit

#include <sys/uio.h>

#include <cstdlib>
#include <memory>

namespace platform {

namespace {

QString displayLabel(const QByteArray &name)
{
    if (!name.isEmpty())
        return QString::fromLocal8Bit(name);
    const QByteArray env = qgetenv("DISPLAY");
    return env.isEmpty() ? QStringLiteral("(DISPLAY is not set)") : QString::fromLocal8Bit(env);
}

/// A reply or event of XCB's, freed with free().
template <typename T> using Reply = std::unique_ptr<T, decltype(&std::free)>;
template <typename T> Reply<T> own(T *p)
{
    return Reply<T>(p, &std::free);
}

/// The name of the key codes the server numbers its keys with ("evdev+aliases(qwerty)",
/// say), or nothing when it has no XKB.
QByteArray keycodesName(xcb_connection_t *c)
{
    const xcb_query_extension_reply_t *xkb = xcb_get_extension_data(c, &xcb_xkb_id);
    if (!xkb || !xkb->present)
        return {};
    const auto use = own(xcb_xkb_use_extension_reply(
        c, xcb_xkb_use_extension(c, XCB_XKB_MAJOR_VERSION, XCB_XKB_MINOR_VERSION), nullptr));
    if (!use || !use->supported)
        return {};
    const auto names = own(xcb_xkb_get_names_reply(
        c, xcb_xkb_get_names(c, XCB_XKB_ID_USE_CORE_KBD, XCB_XKB_NAME_DETAIL_KEYCODES),
        nullptr));
    if (!names)
        return {};
    xcb_xkb_get_names_value_list_t list{};
    xcb_xkb_get_names_value_list_unpack(xcb_xkb_get_names_value_list(names.get()), names->nTypes,
                                        names->indicators, names->virtualMods,
                                        names->groupNames, names->nKeys, names->nKeyAliases,
                                        names->nRadioGroups, names->which, &list);
    if (list.keycodesName == XCB_ATOM_NONE)
        return {};
    const auto atom =
        own(xcb_get_atom_name_reply(c, xcb_get_atom_name(c, list.keycodesName), nullptr));
    if (!atom)
        return {};
    return QByteArray(xcb_get_atom_name_name(atom.get()), xcb_get_atom_name_name_length(atom.get()));
}

// The two XInput requests this needs, sent directly: XCB's library for all of XInput would
// be some 140 KB of memory for them.
xcb_extension_t g_xinput = {"XInputExtension", 0};

unsigned sendXInput(xcb_connection_t *c, uint8_t opcode, bool isVoid, void *request, size_t size)
{
    static const char pad[4] = {};
    iovec parts[4];
    parts[2] = {request, size};
    parts[3] = {const_cast<char *>(pad), -size & 3};
    const xcb_protocol_request_t what = {2, &g_xinput, opcode, uint8_t(isVoid)};
    return xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &what);
}

Reply<xcb_input_xi_query_version_reply_t> queryXInputVersion(xcb_connection_t *c)
{
    xcb_input_xi_query_version_request_t req{};
    req.major_version = 2;
    req.minor_version = 2;
    const unsigned seq = sendXInput(c, XCB_INPUT_XI_QUERY_VERSION, false, &req, sizeof req);
    return own(static_cast<xcb_input_xi_query_version_reply_t *>(
        xcb_wait_for_reply(c, seq, nullptr)));
}

/// Asks for raw key presses and releases of every master device on @p root; the error
/// the server answered with, if any.
Reply<xcb_generic_error_t> selectRawKeys(xcb_connection_t *c, xcb_window_t root)
{
    struct
    {
        xcb_input_xi_select_events_request_t head;
        xcb_input_event_mask_t mask;
        uint32_t bits;
    } req{};
    req.head.window = root;
    req.head.num_mask = 1;
    req.mask = {XCB_INPUT_DEVICE_ALL_MASTER, 1};
    req.bits = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE;
    static_assert(sizeof req == 20);
    const xcb_void_cookie_t cookie = {
        sendXInput(c, XCB_INPUT_XI_SELECT_EVENTS, true, &req, sizeof req)};
    return own(xcb_request_check(c, cookie));
}

const QString evdevHint = QStringLiteral(
    "On a Wayland session or without X, start it with DUDUD_KEYBOARD=evdev to read the "
    "keyboard devices instead.");
} // namespace

X11Keyboard::X11Keyboard(const QByteArray &displayName, QObject *parent)
    : KeyboardDevice(parent), m_displayName(displayName)
{
}

X11Keyboard::~X11Keyboard()
{
    delete m_notifier;
    m_notifier = nullptr;
    if (m_conn)
        xcb_disconnect(m_conn);
}

bool X11Keyboard::acquire(QString *error)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        if (m_conn) {
            xcb_disconnect(m_conn);
            m_conn = nullptr;
        }
        return false;
    };

    if (m_conn)
        return true;
    int screenNumber = 0;
    m_conn = xcb_connect(m_displayName.isEmpty() ? nullptr : m_displayName.constData(),
                         &screenNumber);
    if (xcb_connection_has_error(m_conn)) {
        return fail(QStringLiteral("Cannot connect to the X server %1 to watch the keyboard for "
                                   "the hotkeys.\n\n%2")
                        .arg(displayLabel(m_displayName), evdevHint));
    }

    const xcb_query_extension_reply_t *xi = xcb_get_extension_data(m_conn, &g_xinput);
    if (!xi || !xi->present) {
        return fail(QStringLiteral("The X server %1 has no XInput extension, which the hotkeys "
                                   "need to see the keyboard whichever window has the focus.\n\n%2")
                        .arg(displayLabel(m_displayName), evdevHint));
    }
    m_xiOpcode = xi->major_opcode;
    // 2.1 delivers raw events to the root window even while another client holds a grab.
    const auto version = queryXInputVersion(m_conn);
    const int major = version ? version->major_version : 0;
    const int minor = version ? version->minor_version : 0;
    if (major < 2 || (major == 2 && minor < 1)) {
        return fail(QStringLiteral("The X server %1 has XInput %2.%3; the hotkeys need XInput 2.1 "
                                   "or later.\n\n%4")
                        .arg(displayLabel(m_displayName))
                        .arg(major)
                        .arg(minor)
                        .arg(evdevHint));
    }

    const QByteArray keycodes = keycodesName(m_conn);
    if (!isEvdevKeycodesName(keycodes)) {
        return fail(QStringLiteral("The X server %1 numbers its keys with the key codes \"%2\"; "
                                   "the hotkeys can only be told apart with the \"evdev\" key "
                                   "codes.\n\n%3")
                        .arg(displayLabel(m_displayName),
                             keycodes.isEmpty() ? QStringLiteral("(unknown)")
                                                : QString::fromLatin1(keycodes),
                             evdevHint));
    }

    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(m_conn));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0)
        return fail(QStringLiteral("The X server %1 has no screen %2.")
                        .arg(displayLabel(m_displayName))
                        .arg(screenNumber));
    m_root = screens.data->root;
    const auto refused = selectRawKeys(m_conn, screens.data->root);
    if (refused) {
        return fail(QStringLiteral("The X server %1 refused to report key presses (X error %2).")
                        .arg(displayLabel(m_displayName))
                        .arg(refused->error_code));
    }

    // Keys already down at start-up are not presses.
    const auto keymap =
        own(xcb_query_keymap_reply(m_conn, xcb_query_keymap(m_conn), nullptr));
    if (!keymap) {
        return fail(QStringLiteral("The X server %1 did not tell which keys are down.")
                        .arg(displayLabel(m_displayName)));
    }
    m_sinceQuery.start();
    KeyState down, unused;
    keyStateFromXKeymap(reinterpret_cast<const char *>(keymap->keys), down);
    m_tracker.snapshot(down, unused);

    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(m_conn), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11Keyboard::onReadable);
    // Events that came in with the replies are queued already; the socket will not say so.
    QMetaObject::invokeMethod(this, &X11Keyboard::onReadable, Qt::QueuedConnection);
    return true;
}

bool X11Keyboard::drainEvents(bool queuedOnly, bool *alive)
{
    bool newPress = false;
    for (;;) {
        auto *ev = queuedOnly ? xcb_poll_for_queued_event(m_conn) : xcb_poll_for_event(m_conn);
        if (!ev)
            break;
        if ((ev->response_type & 0x7f) == XCB_GE_GENERIC) {
            const auto *ge = reinterpret_cast<const xcb_ge_generic_event_t *>(ev);
            if (ge->extension == m_xiOpcode) {
                // Raw press and release events have the same layout.
                const int sc = scanCodeFromXKeyCode(
                    int(reinterpret_cast<const xcb_input_raw_key_press_event_t *>(ev)->detail));
                if (ge->event_type == XCB_INPUT_RAW_KEY_PRESS)
                    newPress = m_tracker.press(sc) || newPress;
                else if (ge->event_type == XCB_INPUT_RAW_KEY_RELEASE)
                    m_tracker.release(sc);
            }
        }
        std::free(ev);
    }
    // A read that finds the server gone marks the connection, and XCB returns nothing more.
    if (xcb_connection_has_error(m_conn))
        lose();
    *alive = !m_lost;
    return newPress;
}

void X11Keyboard::onReadable()
{
    if (!m_conn || m_lost)
        return;
    bool alive = true;
    if (drainEvents(false, &alive))
        emit keyPressed();
}

bool X11Keyboard::readState(KeyState &state, QString *error)
{
    bool alive = m_conn && !m_lost;
    // The presses drained here are in this very snapshot: no need to ask for another.
    if (alive)
        drainEvents(false, &alive);
    if (!alive) {
        failureTold();
        if (error)
            *error = m_conn ? lostMessage() : QStringLiteral("The keyboard was not acquired.");
        return false;
    }
    // The raw events tell every press and release, so with nothing down and nothing pressed
    // the round trip for the keymap can wait; it still runs now and then, as the authority.
    if (m_tracker.quiet() && m_sinceQuery.isValid() && m_sinceQuery.elapsed() < 1000) {
        state.fill(0);
        return true;
    }
    const auto keymap =
        own(xcb_query_keymap_reply(m_conn, xcb_query_keymap(m_conn), nullptr));
    m_sinceQuery.start();
    if (!keymap) {
        lose();
        failureTold();
        if (error)
            *error = lostMessage();
        return false;
    }
    KeyState down;
    keyStateFromXKeymap(reinterpret_cast<const char *>(keymap->keys), down);
    m_tracker.snapshot(down, state);
    // Events read along with the reply belong to the next snapshot; the socket will not
    // tell of them since they have left it already.
    if (drainEvents(true, &alive))
        QMetaObject::invokeMethod(this, &X11Keyboard::keyPressed, Qt::QueuedConnection);
    return true;
}

bool X11Keyboard::sharedShortcut(const QString &key)
{
    const int keycode = xKeyCodeOfHotkey(key);
    if (!m_conn || m_lost || keycode < 0)
        return false;
    // Programs grab their shortcuts under every lock state they care about; one refusal is
    // enough to know that a press reaches another program too. Num Lock is Mod2 in nearly
    // every key map.
    const uint16_t combination = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;
    const uint16_t locks[] = {0, XCB_MOD_MASK_LOCK, XCB_MOD_MASK_2,
                              XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2};
    xcb_void_cookie_t tries[std::size(locks)];
    for (size_t i = 0; i < std::size(locks); ++i) {
        tries[i] =
            xcb_grab_key_checked(m_conn, 0, m_root, combination | locks[i], xcb_keycode_t(keycode),
                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    }
    bool held = false;
    for (size_t i = 0; i < std::size(locks); ++i) {
        const auto error = own(xcb_request_check(m_conn, tries[i]));
        if (!error)
            xcb_ungrab_key(m_conn, xcb_keycode_t(keycode), m_root, combination | locks[i]);
        else if (error->error_code == XCB_ACCESS)
            held = true;
    }
    xcb_flush(m_conn);
    // Key events that came in with the answers are queued already; the socket will not say so.
    QMetaObject::invokeMethod(this, &X11Keyboard::onReadable, Qt::QueuedConnection);
    return held;
}

void X11Keyboard::lose()
{
    if (m_lost)
        return;
    m_lost = true;
    if (m_notifier)
        m_notifier->setEnabled(false);
    tellFailureOnce(lostMessage());
}

QString X11Keyboard::lostMessage() const
{
    return QStringLiteral("The connection to the X server %1 was lost: the hotkeys no longer work.")
        .arg(displayLabel(m_displayName));
}

} // namespace platform

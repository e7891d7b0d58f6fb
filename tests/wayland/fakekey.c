/* fakekey: presses real keys on a KWin Wayland session through its fake-input protocol
 * (org_kde_kwin_fake_input), the way a keyboard would.
 *
 *   fakekey [--hold MS] [--gap MS] STEP...
 *
 * Each STEP is a chord such as "ctrl+shift+n", "F7" or "Return" (the keys are pressed in
 * order, held for --hold milliseconds, 40 by default, and released in reverse order), or
 * "type:WORD", which taps the keys of WORD one after another (letters, digits, space; capitals
 * with Shift). Steps are --gap milliseconds apart (60 by default). Key names follow a US
 * layout. For every chord, the line "pressed STEP MICROSECONDS" is printed on standard output,
 * with the CLOCK_MONOTONIC time at which its last key went down, for latency figures.
 *
 * KWin offers the protocol only to programs whose desktop entry (found through the executable
 * path in Exec=) lists org_kde_kwin_fake_input in X-KDE-Wayland-Interfaces. Exit status: 0 when
 * every key was sent, 1 on a bad argument, 2 when the session or the protocol is missing. */
#define _POSIX_C_SOURCE 200809L
#include "fake-input-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <time.h>
#include <wayland-client.h>

static struct org_kde_kwin_fake_input *fake_input;
static unsigned fake_input_version;

static void registry_global(void *data, struct wl_registry *registry, uint32_t name,
                            const char *interface, uint32_t version)
{
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0) {
        fake_input_version = version < 4 ? version : 4;
        fake_input = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface,
                                      fake_input_version);
    }
}

static void registry_global_remove(void *data, struct wl_registry *registry, uint32_t name)
{
    (void)data;
    (void)registry;
    (void)name;
}

static const struct wl_registry_listener registry_listener = {registry_global,
                                                              registry_global_remove};

struct named_key
{
    const char *name;
    unsigned code;
};

static const struct named_key named_keys[] = {
    {"ctrl", KEY_LEFTCTRL},
    {"control", KEY_LEFTCTRL},
    {"rctrl", KEY_RIGHTCTRL},
    {"shift", KEY_LEFTSHIFT},
    {"rshift", KEY_RIGHTSHIFT},
    {"alt", KEY_LEFTALT},
    {"altgr", KEY_RIGHTALT},
    {"meta", KEY_LEFTMETA},
    {"super", KEY_LEFTMETA},
    {"Return", KEY_ENTER},
    {"enter", KEY_ENTER},
    {"Escape", KEY_ESC},
    {"esc", KEY_ESC},
    {"Tab", KEY_TAB},
    {"space", KEY_SPACE},
    {"BackSpace", KEY_BACKSPACE},
    {"Delete", KEY_DELETE},
    {"Up", KEY_UP},
    {"Down", KEY_DOWN},
    {"Left", KEY_LEFT},
    {"Right", KEY_RIGHT},
    {"Home", KEY_HOME},
    {"End", KEY_END},
    {"KP_1", KEY_KP1},
    {"F1", KEY_F1},
    {"F2", KEY_F2},
    {"F3", KEY_F3},
    {"F4", KEY_F4},
    {"F5", KEY_F5},
    {"F6", KEY_F6},
    {"F7", KEY_F7},
    {"F8", KEY_F8},
    {"F9", KEY_F9},
    {"F10", KEY_F10},
    {"F11", KEY_F11},
    {"F12", KEY_F12},
};

/* The key code of one character on a US layout, and whether it needs Shift; 0 if none. */
static unsigned char_key(char c, int *shift)
{
    static const char *rows[] = {"1234567890", "qwertyuiop", "asdfghjkl", "zxcvbnm"};
    static const unsigned first[] = {KEY_1, KEY_Q, KEY_A, KEY_Z};
    *shift = c >= 'A' && c <= 'Z';
    if (*shift)
        c = (char)(c - 'A' + 'a');
    if (c == ' ')
        return KEY_SPACE;
    for (int r = 0; r < 4; ++r) {
        const char *at = strchr(rows[r], c);
        if (c && at)
            return first[r] + (unsigned)(at - rows[r]);
    }
    return 0;
}

static unsigned key_code(const char *name)
{
    for (size_t i = 0; i < sizeof named_keys / sizeof named_keys[0]; ++i) {
        if (strcasecmp(named_keys[i].name, name) == 0)
            return named_keys[i].code;
    }
    int shift;
    if (strlen(name) == 1)
        return char_key((char)(name[0] >= 'A' && name[0] <= 'Z' ? name[0] - 'A' + 'a' : name[0]),
                        &shift);
    return 0;
}

static void sleep_ms(int ms)
{
    struct timespec t = {ms / 1000, (long)(ms % 1000) * 1000000L};
    nanosleep(&t, NULL);
}

static long long now_us(void)
{
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (long long)t.tv_sec * 1000000LL + t.tv_nsec / 1000;
}

/* Sends one key event and waits until the compositor has handled it. */
static int send_key(struct wl_display *display, unsigned code, int down)
{
    org_kde_kwin_fake_input_keyboard_key(
        fake_input, code, down ? WL_KEYBOARD_KEY_STATE_PRESSED : WL_KEYBOARD_KEY_STATE_RELEASED);
    return wl_display_roundtrip(display) >= 0;
}

static int run_chord(struct wl_display *display, const char *step, int hold_ms)
{
    unsigned codes[8];
    int n = 0;
    char buf[128];
    snprintf(buf, sizeof buf, "%s", step);
    for (char *save = NULL, *part = strtok_r(buf, "+", &save); part;
         part = strtok_r(NULL, "+", &save)) {
        const unsigned code = key_code(part);
        if (!code || n == 8) {
            fprintf(stderr, "fakekey: unknown key \"%s\" in \"%s\"\n", part, step);
            return 1;
        }
        codes[n++] = code;
    }
    if (n == 0) {
        fprintf(stderr, "fakekey: empty chord\n");
        return 1;
    }
    long long pressed = 0;
    for (int i = 0; i < n; ++i) {
        if (i == n - 1)
            pressed = now_us();
        if (!send_key(display, codes[i], 1))
            return 2;
        if (i < n - 1)
            sleep_ms(10);
    }
    sleep_ms(hold_ms);
    for (int i = n - 1; i >= 0; --i) {
        if (!send_key(display, codes[i], 0))
            return 2;
        if (i > 0)
            sleep_ms(10);
    }
    printf("pressed %s %lld\n", step, pressed);
    fflush(stdout);
    return 0;
}

static int run_type(struct wl_display *display, const char *word)
{
    for (const char *c = word; *c; ++c) {
        int shift;
        const unsigned code = char_key(*c, &shift);
        if (!code) {
            fprintf(stderr, "fakekey: cannot type \"%c\"\n", *c);
            return 1;
        }
        if ((shift && !send_key(display, KEY_LEFTSHIFT, 1)) || !send_key(display, code, 1))
            return 2;
        sleep_ms(15);
        if (!send_key(display, code, 0) || (shift && !send_key(display, KEY_LEFTSHIFT, 0)))
            return 2;
        sleep_ms(15);
    }
    return 0;
}

int main(int argc, char **argv)
{
    int hold_ms = 40, gap_ms = 60, first = 1;
    while (first + 1 < argc && argv[first][0] == '-' && argv[first][1] == '-') {
        if (strcmp(argv[first], "--hold") == 0)
            hold_ms = atoi(argv[first + 1]);
        else if (strcmp(argv[first], "--gap") == 0)
            gap_ms = atoi(argv[first + 1]);
        else
            break;
        first += 2;
    }
    if (first >= argc) {
        fprintf(stderr, "usage: fakekey [--hold MS] [--gap MS] ctrl+shift+n|F7|type:WORD...\n");
        return 1;
    }
    struct wl_display *display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "fakekey: cannot connect to the Wayland display \"%s\"\n",
                getenv("WAYLAND_DISPLAY") ? getenv("WAYLAND_DISPLAY") : "wayland-0");
        return 2;
    }
    struct wl_registry *registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &registry_listener, NULL);
    wl_display_roundtrip(display);
    if (!fake_input || fake_input_version < 4) {
        fprintf(stderr,
                "fakekey: the compositor does not offer org_kde_kwin_fake_input version 4 to this "
                "program; KWin offers it only to programs whose desktop entry, with this "
                "program's path in Exec=, lists it in X-KDE-Wayland-Interfaces\n");
        wl_display_disconnect(display);
        return 2;
    }
    org_kde_kwin_fake_input_authenticate(fake_input, "fakekey", "key presses for tests");
    wl_display_roundtrip(display);

    int rc = 0;
    for (int i = first; i < argc && rc == 0; ++i) {
        if (i > first)
            sleep_ms(gap_ms);
        if (strncmp(argv[i], "type:", 5) == 0)
            rc = run_type(display, argv[i] + 5);
        else
            rc = run_chord(display, argv[i], hold_ms);
    }
    if (rc == 2)
        fprintf(stderr, "fakekey: the connection to the compositor broke\n");
    org_kde_kwin_fake_input_destroy(fake_input);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return rc;
}

// SPDX-License-Identifier: GPL-3.0-or-later
/* Times a program's X window from outside, for the end-to-end benchmark.
 *
 *   solvane-windowprobe start -- PROGRAM [ARGUMENT...]
 *       starts the program, prints "mapped MS" when its window is mapped and "answered MS" when
 *       it first answers a ping, then stops it with SIGTERM.
 *   solvane-windowprobe ping PID INTERVAL_MS
 *       finds the window of process PID and pings it every INTERVAL_MS until SIGTERM, SIGINT
 *       or the end of standard input; prints one "rtt MS" line per answer, and "pending MS" for
 *       a ping still unanswered at the end.
 *   solvane-windowprobe window PID
 *       prints "window X Y WIDTH HEIGHT", the place of the process's window on the screen.
 *   solvane-windowprobe wheel X Y BUTTON COUNT
 *       moves the pointer to X,Y and clicks BUTTON (4 is the wheel up, 5 down) COUNT times, as
 *       real input through the XTEST extension: the toolkit cannot tell it from a mouse.
 *   solvane-windowprobe grab X Y WIDTH HEIGHT [FILE]
 *       prints "grab HASH", a hash of what the screen shows in that rectangle, and with FILE
 *       also writes it there as a PPM picture.
 *
 * The ping is the window manager's _NET_WM_PING: the toolkit answers it from its GUI thread
 * when it gets round to the event, so the round trip is how long input waits in its event loop.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

static volatile sig_atomic_t stopRequested = 0;
/* The benchmark holds the ping loop's standard input open, so that the loop ends with it. */
static int stopAtEndOfInput = 0;

static void onStop(int signalNumber)
{
    (void)signalNumber;
    stopRequested = 1;
}

static double nowMs(void)
{
    struct timespec time;
    clock_gettime(CLOCK_MONOTONIC, &time);
    return (double)time.tv_sec * 1e3 + (double)time.tv_nsec / 1e6;
}

static xcb_atom_t internAtom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, (uint16_t)strlen(name), name), NULL);
    xcb_atom_t atom = reply ? reply->atom : XCB_ATOM_NONE;
    free(reply);
    return atom;
}

struct Probe
{
    xcb_connection_t *connection;
    xcb_window_t root;
    xcb_atom_t wmProtocols;
    xcb_atom_t wmPing;
    xcb_atom_t wmPid;
};

static int connectProbe(struct Probe *probe)
{
    probe->connection = xcb_connect(NULL, NULL);
    if (xcb_connection_has_error(probe->connection)) {
        fprintf(stderr, "windowprobe: cannot connect to the X display\n");
        return 0;
    }
    probe->root = xcb_setup_roots_iterator(xcb_get_setup(probe->connection)).data->root;
    probe->wmProtocols = internAtom(probe->connection, "WM_PROTOCOLS");
    probe->wmPing = internAtom(probe->connection, "_NET_WM_PING");
    probe->wmPid = internAtom(probe->connection, "_NET_WM_PID");
    /* The toolkit sends its answer to a ping to whoever selects structure events on the root
     * window; the map events of top-level windows come as substructure events there when no
     * window manager runs. */
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(probe->connection, probe->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(probe->connection);
    return 1;
}

static long windowPid(const struct Probe *probe, xcb_window_t window)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(probe->connection,
        xcb_get_property(probe->connection, 0, window, probe->wmPid, XCB_ATOM_CARDINAL, 0, 1),
        NULL);
    long pid = -1;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        pid = (long)*(uint32_t *)xcb_get_property_value(reply);
    free(reply);
    return pid;
}

/* The largest viewable top-level window that the process owns, or 0. */
static xcb_window_t findWindow(const struct Probe *probe, long pid)
{
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(
        probe->connection, xcb_query_tree(probe->connection, probe->root), NULL);
    if (!tree)
        return 0;
    xcb_window_t found = 0;
    uint32_t foundArea = 0;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            probe->connection, xcb_get_window_attributes(probe->connection, children[i]), NULL);
        const int viewable = attributes && attributes->map_state == XCB_MAP_STATE_VIEWABLE
            && !attributes->override_redirect;
        free(attributes);
        if (!viewable || windowPid(probe, children[i]) != pid)
            continue;
        xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(
            probe->connection, xcb_get_geometry(probe->connection, children[i]), NULL);
        const uint32_t area = geometry ? (uint32_t)geometry->width * geometry->height : 0;
        free(geometry);
        if (!found || area > foundArea) {
            found = children[i];
            foundArea = area;
        }
    }
    free(tree);
    return found;
}

static void sendPing(const struct Probe *probe, xcb_window_t window, uint32_t sequence)
{
    xcb_client_message_event_t event;
    memset(&event, 0, sizeof event);
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = probe->wmProtocols;
    event.data.data32[0] = probe->wmPing;
    event.data.data32[1] = sequence;
    event.data.data32[2] = window;
    xcb_send_event(probe->connection, 0, window, XCB_EVENT_MASK_NO_EVENT, (const char *)&event);
    xcb_flush(probe->connection);
}

static int isPingAnswer(
    const struct Probe *probe, const xcb_generic_event_t *event, uint32_t sequence)
{
    if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE)
        return 0;
    const xcb_client_message_event_t *message = (const xcb_client_message_event_t *)event;
    return message->type == probe->wmProtocols && message->data.data32[0] == probe->wmPing
        && message->data.data32[1] == sequence;
}

/* The next event, or NULL once the deadline passes, a stop is asked for or the connection
 * breaks. */
static xcb_generic_event_t *waitForEvent(const struct Probe *probe, double deadlineMs)
{
    for (;;) {
        xcb_generic_event_t *event = xcb_poll_for_event(probe->connection);
        if (event)
            return event;
        if (xcb_connection_has_error(probe->connection) || stopRequested)
            return NULL;
        const double left = deadlineMs - nowMs();
        if (left <= 0)
            return NULL;
        struct pollfd descriptors[2] = {
            {xcb_get_file_descriptor(probe->connection), POLLIN, 0},
            {STDIN_FILENO, POLLIN, 0},
        };
        const int watched = stopAtEndOfInput ? 2 : 1;
        if (poll(descriptors, (nfds_t)watched, (int)left + 1) < 0 && errno != EINTR)
            return NULL;
        if (watched == 2 && descriptors[1].revents) {
            char buffer[256];
            if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0)
                stopRequested = 1;
        }
    }
}

static int pingLoop(long pid, double intervalMs)
{
    struct Probe probe;
    if (!connectProbe(&probe))
        return 1;
    xcb_window_t window = 0;
    const double giveUp = nowMs() + 10000;
    while (!window && !stopRequested && nowMs() < giveUp) {
        window = findWindow(&probe, pid);
        if (!window)
            usleep(20000);
    }
    if (!window) {
        fprintf(stderr, "windowprobe: process %ld shows no window\n", pid);
        return 1;
    }

    uint32_t sequence = 0;
    double nextSend = nowMs();
    while (!stopRequested) {
        const double sent = nowMs();
        sendPing(&probe, window, ++sequence);
        int answered = 0;
        while (!answered) {
            xcb_generic_event_t *event = waitForEvent(&probe, sent + 3600e3);
            if (!event)
                break;
            answered = isPingAnswer(&probe, event, sequence);
            free(event);
        }
        const double roundTrip = nowMs() - sent;
        if (!answered) {
            printf("pending %.3f\n", roundTrip);
            break;
        }
        printf("rtt %.3f\n", roundTrip);
        fflush(stdout);
        /* One ping in flight at a time; a stall delays the next one instead of piling up pings
         * that would all report the same stall. */
        nextSend += intervalMs;
        if (nextSend < nowMs())
            nextSend = nowMs();
        while (!stopRequested) {
            xcb_generic_event_t *event = waitForEvent(&probe, nextSend);
            if (!event)
                break;
            free(event);
        }
    }
    fflush(stdout);
    xcb_disconnect(probe.connection);
    return 0;
}

static int startProgram(char **command)
{
    struct Probe probe;
    if (!connectProbe(&probe))
        return 1;
    const double started = nowMs();
    const pid_t child = fork();
    if (child < 0) {
        perror("windowprobe: fork");
        return 1;
    }
    if (child == 0) {
        execvp(command[0], command);
        fprintf(stderr, "windowprobe: cannot run %s: %s\n", command[0], strerror(errno));
        _exit(127);
    }

    double mapped = -1;
    double answered = -1;
    xcb_window_t window = 0;
    const double giveUp = started + 30000;
    while (answered < 0 && !stopRequested) {
        xcb_generic_event_t *event = waitForEvent(&probe, giveUp);
        if (!event)
            break;
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_MAP_NOTIFY && !window) {
            const xcb_map_notify_event_t *map = (const xcb_map_notify_event_t *)event;
            if (!map->override_redirect && windowPid(&probe, map->window) == (long)child) {
                mapped = nowMs() - started;
                window = map->window;
                sendPing(&probe, window, 1);
            }
        } else if (window && isPingAnswer(&probe, event, 1)) {
            answered = nowMs() - started;
        }
        free(event);
    }
    if (mapped >= 0)
        printf("mapped %.3f\n", mapped);
    if (answered >= 0)
        printf("answered %.3f\n", answered);
    fflush(stdout);

    kill(child, SIGTERM);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    xcb_disconnect(probe.connection);
    return answered >= 0 ? 0 : 1;
}

static int printWindow(long pid)
{
    struct Probe probe;
    if (!connectProbe(&probe))
        return 1;
    xcb_window_t window = 0;
    const double giveUp = nowMs() + 10000;
    while (!window && nowMs() < giveUp) {
        window = findWindow(&probe, pid);
        if (!window)
            usleep(20000);
    }
    xcb_get_geometry_reply_t *geometry = window
        ? xcb_get_geometry_reply(probe.connection, xcb_get_geometry(probe.connection, window), NULL)
        : NULL;
    xcb_translate_coordinates_reply_t *place = window
        ? xcb_translate_coordinates_reply(probe.connection,
            xcb_translate_coordinates(probe.connection, window, probe.root, 0, 0), NULL)
        : NULL;
    const int found = geometry && place;
    if (found)
        printf(
            "window %d %d %u %u\n", place->dst_x, place->dst_y, geometry->width, geometry->height);
    else
        fprintf(stderr, "windowprobe: process %ld shows no window\n", pid);
    free(geometry);
    free(place);
    xcb_disconnect(probe.connection);
    return found ? 0 : 1;
}

/* The xcb binding of XTEST is a package of its own that is often missing; the request is small
 * enough to send by hand, laid out as the extension's protocol has it. */
static xcb_extension_t xtestExtension = {"XTEST", 0};

struct FakeInputRequest
{
    uint8_t majorOpcode;
    uint8_t minorOpcode;
    uint16_t length;
    uint8_t type;
    uint8_t detail;
    uint8_t pad0[2];
    uint32_t time;
    xcb_window_t root;
    uint8_t pad1[8];
    int16_t rootX;
    int16_t rootY;
    uint8_t pad2[7];
    uint8_t deviceId;
};

static int fakeInput(const struct Probe *probe, uint8_t type, uint8_t detail, int x, int y)
{
    struct FakeInputRequest request;
    memset(&request, 0, sizeof request);
    request.type = type;
    request.detail = detail;
    request.root = probe->root;
    request.rootX = (int16_t)x;
    request.rootY = (int16_t)y;
    struct iovec parts[4];
    parts[2].iov_base = &request;
    parts[2].iov_len = sizeof request;
    parts[3].iov_base = NULL;
    parts[3].iov_len = 0;
    const xcb_protocol_request_t layout = {2, &xtestExtension, 2 /* FakeInput */, 1};
    xcb_void_cookie_t cookie;
    cookie.sequence = xcb_send_request(probe->connection, XCB_REQUEST_CHECKED, parts + 2, &layout);
    xcb_generic_error_t *error = xcb_request_check(probe->connection, cookie);
    free(error);
    return error == NULL;
}

static int wheel(int x, int y, int button, int count)
{
    struct Probe probe;
    if (!connectProbe(&probe))
        return 1;
    const xcb_query_extension_reply_t *xtest
        = xcb_get_extension_data(probe.connection, &xtestExtension);
    if (!xtest || !xtest->present) {
        fprintf(stderr, "windowprobe: the X server has no XTEST extension\n");
        xcb_disconnect(probe.connection);
        return 1;
    }
    int ok = fakeInput(&probe, XCB_MOTION_NOTIFY, 0, x, y);
    for (int i = 0; i < count && ok; ++i) {
        /* The toolkit merges wheel steps that arrive together; apart, each one scrolls. */
        usleep(30000);
        ok = fakeInput(&probe, XCB_BUTTON_PRESS, (uint8_t)button, x, y)
            && fakeInput(&probe, XCB_BUTTON_RELEASE, (uint8_t)button, x, y);
    }
    if (!ok)
        fprintf(stderr, "windowprobe: the X server refused the fake input\n");
    xcb_disconnect(probe.connection);
    return ok ? 0 : 1;
}

static int grab(int x, int y, int width, int height, const char *file)
{
    struct Probe probe;
    if (!connectProbe(&probe))
        return 1;
    xcb_get_image_reply_t *image = xcb_get_image_reply(probe.connection,
        xcb_get_image(probe.connection, XCB_IMAGE_FORMAT_Z_PIXMAP, probe.root, (int16_t)x,
            (int16_t)y, (uint16_t)width, (uint16_t)height, ~0u),
        NULL);
    const long pixels = (long)width * height;
    /* Xvfb's 24-bit screen holds each pixel in four bytes, blue first. */
    if (!image || image->depth != 24 || xcb_get_image_data_length(image) < pixels * 4) {
        fprintf(stderr, "windowprobe: cannot read that part of the screen\n");
        free(image);
        xcb_disconnect(probe.connection);
        return 1;
    }
    const uint8_t *data = xcb_get_image_data(image);
    FILE *picture = file ? fopen(file, "wb") : NULL;
    if (picture)
        fprintf(picture, "P6\n%d %d\n255\n", width, height);
    uint64_t hash = 14695981039346656037ull;
    for (long i = 0; i < pixels; ++i) {
        const uint8_t rgb[3] = {data[i * 4 + 2], data[i * 4 + 1], data[i * 4]};
        for (int c = 0; c < 3; ++c)
            hash = (hash ^ rgb[c]) * 1099511628211ull;
        if (picture)
            fwrite(rgb, 1, 3, picture);
    }
    const int written = !file || (picture && fclose(picture) == 0);
    printf("grab %016llx\n", (unsigned long long)hash);
    free(image);
    xcb_disconnect(probe.connection);
    return written ? 0 : 1;
}

int main(int argc, char **argv)
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onStop;
    sigaction(SIGTERM, &action, NULL);
    sigaction(SIGINT, &action, NULL);

    if (argc >= 4 && strcmp(argv[1], "start") == 0 && strcmp(argv[2], "--") == 0)
        return startProgram(argv + 3);
    if (argc == 4 && strcmp(argv[1], "ping") == 0) {
        stopAtEndOfInput = 1;
        return pingLoop(strtol(argv[2], NULL, 10), strtod(argv[3], NULL));
    }
    if (argc == 3 && strcmp(argv[1], "window") == 0)
        return printWindow(strtol(argv[2], NULL, 10));
    if (argc == 6 && strcmp(argv[1], "wheel") == 0)
        return wheel(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]));
    if ((argc == 6 || argc == 7) && strcmp(argv[1], "grab") == 0)
        return grab(
            atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]), argc == 7 ? argv[6] : NULL);
    fprintf(stderr,
        "usage: %s start -- PROGRAM [ARGUMENT...]\n"
        "       %s ping PID INTERVAL_MS\n"
        "       %s window PID\n"
        "       %s wheel X Y BUTTON COUNT\n"
        "       %s grab X Y WIDTH HEIGHT [FILE]\n",
        argv[0], argv[0], argv[0], argv[0], argv[0]);
    return 2;
}

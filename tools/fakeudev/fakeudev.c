// SPDX-License-Identifier: GPL-3.0-or-later
/*
 * Answers the serial port module's udev look-ups from a plain text list, so that any
 * pseudo-terminal can pose as a USB serial device with chosen vendor and product IDs, without
 * root rights and without touching the program.
 *
 * The list is named by SOLVANE_SIM_DEVICES and read again on every scan, so devices come and go
 * as the file changes. One device per line:
 *
 *     DEVNODE VENDOR PRODUCT [SERIAL]      e.g.  /dev/pts/7 04d8 000a SIM1
 *     DEVNODE -                            a port with no USB identity
 *
 * VENDOR and PRODUCT are hexadecimal; blank lines and lines starting with '#' are ignored. The
 * devnode is not checked, so a path that cannot be opened may be listed on purpose. While the
 * variable is set the list is all there is: an empty or missing file means no serial ports.
 *
 * Built into a shared library for LD_PRELOAD, and linked straight into the test executables,
 * whose exported definitions take the place of libudev's versioned ones. Only the serial port
 * module's tty enumeration is answered: any other caller, subsystem or object is forwarded to
 * the real libudev, and the objects made here carry a tag that keeps them apart from real ones.
 */
#define _GNU_SOURCE
#include <libudev.h>

#include <dlfcn.h>
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* "SOLVANE1" read as a little-endian word: a non-canonical address, so no real libudev object,
 * whose first member is a pointer or a zero-padded counter, can start with it. */
#define FAKE_TAG UINT64_C(0x31454e41564c4f53)

#define LIST_VARIABLE "SOLVANE_SIM_DEVICES"
#define SYSPATH_PREFIX "/sys/devices/virtual/solvane-sim/"
#define PLACEHOLDER_SYSPATH SYSPATH_PREFIX "placeholder"
#define NO_IDENTITY "none"
#define USB_DRIVER "cdc_acm"
#define PLAIN_DRIVER "solvane_sim"

enum fake_kind { KIND_UDEV, KIND_ENUMERATE, KIND_ENTRY, KIND_DEVICE };

struct fake_header
{
    uint64_t tag;
    enum fake_kind kind;
};

struct fake_udev
{
    struct fake_header header;
    int refs;
    /* Made on demand, when something has to be forwarded. */
    struct udev *real;
};

struct fake_entry
{
    struct fake_header header;
    struct fake_entry *next;
    char *syspath;
};

struct fake_enumerate
{
    struct fake_header header;
    int refs;
    struct fake_udev *udev;
    int match_tty;
    /* Set once the enumeration asks for more than tty devices: from then on it is real. */
    struct udev_enumerate *real;
    struct fake_entry *entries;
};

struct fake_device
{
    struct fake_header header;
    int refs;
    struct fake_udev *udev;
    int has_identity;
    char vendor[5];
    char product[5];
    char *serial;
    char *syspath;
    char *devnode;
    char *sysname;
    /* The port has its interface as parent, which is owned by and released with the port. */
    struct fake_device *parent;
    int is_parent;
};

static int is_fake(const void *object, enum fake_kind kind)
{
    const struct fake_header *header = object;
    return object != NULL && header->tag == FAKE_TAG && header->kind == kind;
}

static void *real_symbol(const char *name)
{
    void *symbol = dlvsym(RTLD_NEXT, name, "LIBUDEV_183");
    if (symbol == NULL)
        symbol = dlsym(RTLD_NEXT, name);
    return symbol;
}

/* ISO C has no conversion from an object pointer to a function pointer; copying the bits is
 * what POSIX guarantees to work for dlsym results. The serial port module may enumerate from
 * more than one thread, hence the atomic cache. */
#define REAL(name)                                                                                 \
    __typeof__(name) *real_fn = NULL;                                                              \
    do {                                                                                           \
        static void *cached;                                                                       \
        void *symbol = __atomic_load_n(&cached, __ATOMIC_ACQUIRE);                                 \
        if (symbol == NULL) {                                                                      \
            symbol = real_symbol(#name);                                                           \
            __atomic_store_n(&cached, symbol, __ATOMIC_RELEASE);                                   \
        }                                                                                          \
        memcpy(&real_fn, &symbol, sizeof real_fn);                                                 \
    } while (0)

static char *copy_text(const char *text)
{
    size_t length = strlen(text) + 1;
    char *copy = malloc(length);
    if (copy != NULL)
        memcpy(copy, text, length);
    return copy;
}

/* Only the serial port module is answered; whatever else in the process uses libudev (input
 * device discovery, for one) keeps seeing the real system. */
static int called_by_serial_port_module(const void *return_address)
{
    Dl_info info;
    if (dladdr(return_address, &info) == 0 || info.dli_fname == NULL)
        return 0;
    const char *base = strrchr(info.dli_fname, '/');
    base = base != NULL ? base + 1 : info.dli_fname;
    return strstr(base, "SerialPort") != NULL;
}

static struct udev *real_udev_of(struct fake_udev *fake)
{
    if (fake->real == NULL) {
        REAL(udev_new);
        if (real_fn != NULL)
            fake->real = real_fn();
    }
    return fake->real;
}

static int is_hex_id(const char *text)
{
    size_t length = strlen(text);
    if (length == 0 || length > 4)
        return 0;
    return strspn(text, "0123456789abcdefABCDEF") == length;
}

static void normalise_hex_id(const char *text, char out[5])
{
    snprintf(out, 5, "%04x", (unsigned)(strtoul(text, NULL, 16) & 0xffff));
}

/* The syspath carries everything about the device, so that a device can be made from it long
 * after the list file has changed, as the module does between scanning and looking up. */
static char *make_syspath(
    const char *vendor, const char *product, const char *serial, const char *devnode)
{
    size_t size = strlen(SYSPATH_PREFIX) + strlen(vendor) + strlen(product) + strlen(serial)
        + strlen(devnode) + 4;
    char *syspath = malloc(size);
    if (syspath == NULL)
        return NULL;
    snprintf(syspath, size, "%s%s:%s/%s/%s", SYSPATH_PREFIX, vendor, product, serial, devnode);
    for (char *c = syspath + size - strlen(devnode) - 1; *c != '\0'; ++c) {
        if (*c == '/')
            *c = '!';
    }
    return syspath;
}

static void free_entries(struct fake_entry *entry)
{
    while (entry != NULL) {
        struct fake_entry *next = entry->next;
        free(entry->syspath);
        free(entry);
        entry = next;
    }
}

static void scan_list_file(struct fake_enumerate *enumerate)
{
    free_entries(enumerate->entries);
    enumerate->entries = NULL;

    const char *path = getenv(LIST_VARIABLE);
    FILE *file = path != NULL ? fopen(path, "re") : NULL;
    if (file == NULL)
        return;

    struct fake_entry **tail = &enumerate->entries;
    char line[1024];
    unsigned number = 0;
    while (fgets(line, sizeof line, file) != NULL) {
        char devnode[512];
        char vendor[16];
        char product[16];
        char serial[128];
        int fields = sscanf(line, " %511s %15s %15s %127s", devnode, vendor, product, serial);
        if (fields < 2 || devnode[0] != '/')
            continue;
        const int has_identity = strcmp(vendor, "-") != 0;
        if (has_identity && (fields < 3 || !is_hex_id(vendor) || !is_hex_id(product)))
            continue;
        ++number;
        if (fields < 4 || strchr(serial, '/') != NULL)
            snprintf(serial, sizeof serial, "SOLVANESIM%u", number);

        char *syspath;
        if (has_identity) {
            char vendor_id[5];
            char product_id[5];
            normalise_hex_id(vendor, vendor_id);
            normalise_hex_id(product, product_id);
            syspath = make_syspath(vendor_id, product_id, serial, devnode);
        } else {
            syspath = make_syspath(NO_IDENTITY, NO_IDENTITY, serial, devnode);
        }

        struct fake_entry *entry = calloc(1, sizeof *entry);
        if (syspath == NULL || entry == NULL) {
            free(syspath);
            free(entry);
            break;
        }
        entry->header.tag = FAKE_TAG;
        entry->header.kind = KIND_ENTRY;
        entry->syspath = syspath;
        *tail = entry;
        tail = &entry->next;
    }
    fclose(file);
}

/* An enumeration that finds nothing makes the serial port module fall back to reading sysfs
 * itself, which would bring the machine's real ports back. A device without a parent is
 * dropped by the module but still counts as found, so an empty list stays empty. */
static void add_placeholder_if_empty(struct fake_enumerate *enumerate)
{
    if (enumerate->entries != NULL)
        return;
    struct fake_entry *entry = calloc(1, sizeof *entry);
    if (entry == NULL)
        return;
    entry->syspath = copy_text(PLACEHOLDER_SYSPATH);
    if (entry->syspath == NULL) {
        free(entry);
        return;
    }
    entry->header.tag = FAKE_TAG;
    entry->header.kind = KIND_ENTRY;
    enumerate->entries = entry;
}

static void free_device(struct fake_device *device)
{
    if (device == NULL)
        return;
    free_device(device->parent);
    free(device->serial);
    free(device->syspath);
    free(device->devnode);
    free(device->sysname);
    free(device);
}

static struct fake_device *new_device(struct fake_udev *udev)
{
    struct fake_device *device = calloc(1, sizeof *device);
    if (device == NULL)
        return NULL;
    device->header.tag = FAKE_TAG;
    device->header.kind = KIND_DEVICE;
    device->refs = 1;
    device->udev = udev;
    return device;
}

static struct fake_device *placeholder_device(struct fake_udev *udev)
{
    struct fake_device *device = new_device(udev);
    if (device == NULL)
        return NULL;
    device->syspath = copy_text(PLACEHOLDER_SYSPATH);
    device->devnode = copy_text("/dev/solvane-sim-placeholder");
    device->sysname = copy_text("solvane-sim-placeholder");
    if (device->syspath == NULL || device->devnode == NULL || device->sysname == NULL) {
        free_device(device);
        return NULL;
    }
    return device;
}

static struct fake_device *device_from_syspath(struct fake_udev *udev, const char *syspath)
{
    if (strcmp(syspath, PLACEHOLDER_SYSPATH) == 0)
        return placeholder_device(udev);

    const char *rest = syspath + strlen(SYSPATH_PREFIX);
    char vendor[8];
    char product[8];
    char serial[128];
    int consumed = 0;
    if (sscanf(rest, "%7[^:]:%7[^/]/%127[^/]/%n", vendor, product, serial, &consumed) < 3
        || consumed == 0 || rest[consumed] != '!')
        return NULL;

    struct fake_device *device = new_device(udev);
    if (device == NULL)
        return NULL;
    device->has_identity = strcmp(vendor, NO_IDENTITY) != 0;
    if (device->has_identity) {
        normalise_hex_id(vendor, device->vendor);
        normalise_hex_id(product, device->product);
    }
    device->serial = copy_text(serial);
    device->syspath = copy_text(syspath);
    device->devnode = copy_text(rest + consumed);
    device->parent = new_device(udev);
    if (device->serial == NULL || device->syspath == NULL || device->devnode == NULL
        || device->parent == NULL) {
        free_device(device);
        return NULL;
    }
    for (char *c = device->devnode; *c != '\0'; ++c) {
        if (*c == '!')
            *c = '/';
    }
    /* The name the module reports as the port name: what follows /dev/, which maps back to the
     * devnode when a port is opened by name. */
    const char *name = device->devnode;
    if (strncmp(name, "/dev/", 5) == 0)
        name += 5;
    else if (strrchr(name, '/') != NULL)
        name = strrchr(name, '/') + 1;
    device->sysname = copy_text(name);

    struct fake_device *parent = device->parent;
    parent->is_parent = 1;
    parent->has_identity = device->has_identity;
    parent->sysname = copy_text("solvane-sim");
    if (device->sysname == NULL || parent->sysname == NULL) {
        free_device(device);
        return NULL;
    }
    return device;
}

struct udev *udev_new(void)
{
    const char *list = getenv(LIST_VARIABLE);
    if (list != NULL && list[0] != '\0'
        && called_by_serial_port_module(__builtin_return_address(0))) {
        struct fake_udev *fake = calloc(1, sizeof *fake);
        if (fake != NULL) {
            fake->header.tag = FAKE_TAG;
            fake->header.kind = KIND_UDEV;
            fake->refs = 1;
            return (struct udev *)fake;
        }
    }
    REAL(udev_new);
    return real_fn != NULL ? real_fn() : NULL;
}

struct udev *udev_ref(struct udev *udev)
{
    if (is_fake(udev, KIND_UDEV)) {
        ++((struct fake_udev *)udev)->refs;
        return udev;
    }
    REAL(udev_ref);
    return real_fn != NULL ? real_fn(udev) : NULL;
}

struct udev *udev_unref(struct udev *udev)
{
    if (is_fake(udev, KIND_UDEV)) {
        struct fake_udev *fake = (struct fake_udev *)udev;
        if (--fake->refs > 0)
            return NULL;
        if (fake->real != NULL)
            udev_unref(fake->real);
        free(fake);
        return NULL;
    }
    REAL(udev_unref);
    return real_fn != NULL ? real_fn(udev) : NULL;
}

struct udev_enumerate *udev_enumerate_new(struct udev *udev)
{
    if (is_fake(udev, KIND_UDEV)) {
        struct fake_enumerate *fake = calloc(1, sizeof *fake);
        if (fake == NULL)
            return NULL;
        fake->header.tag = FAKE_TAG;
        fake->header.kind = KIND_ENUMERATE;
        fake->refs = 1;
        fake->udev = (struct fake_udev *)udev;
        udev_ref(udev);
        return (struct udev_enumerate *)fake;
    }
    REAL(udev_enumerate_new);
    return real_fn != NULL ? real_fn(udev) : NULL;
}

struct udev_enumerate *udev_enumerate_ref(struct udev_enumerate *enumerate)
{
    if (is_fake(enumerate, KIND_ENUMERATE)) {
        ++((struct fake_enumerate *)enumerate)->refs;
        return enumerate;
    }
    REAL(udev_enumerate_ref);
    return real_fn != NULL ? real_fn(enumerate) : NULL;
}

struct udev_enumerate *udev_enumerate_unref(struct udev_enumerate *enumerate)
{
    if (is_fake(enumerate, KIND_ENUMERATE)) {
        struct fake_enumerate *fake = (struct fake_enumerate *)enumerate;
        if (--fake->refs > 0)
            return NULL;
        free_entries(fake->entries);
        if (fake->real != NULL)
            udev_enumerate_unref(fake->real);
        udev_unref((struct udev *)fake->udev);
        free(fake);
        return NULL;
    }
    REAL(udev_enumerate_unref);
    return real_fn != NULL ? real_fn(enumerate) : NULL;
}

/* Hands the enumeration over to the real libudev, replaying the tty match it already has. */
static struct udev_enumerate *make_real(struct fake_enumerate *fake)
{
    if (fake->real == NULL) {
        struct udev *real_udev = real_udev_of(fake->udev);
        if (real_udev == NULL)
            return NULL;
        fake->real = udev_enumerate_new(real_udev);
        if (fake->real != NULL && fake->match_tty)
            udev_enumerate_add_match_subsystem(fake->real, "tty");
    }
    return fake->real;
}

int udev_enumerate_add_match_subsystem(struct udev_enumerate *enumerate, const char *subsystem)
{
    if (is_fake(enumerate, KIND_ENUMERATE)) {
        struct fake_enumerate *fake = (struct fake_enumerate *)enumerate;
        if (fake->real == NULL && subsystem != NULL && strcmp(subsystem, "tty") == 0) {
            fake->match_tty = 1;
            return 0;
        }
        enumerate = make_real(fake);
        if (enumerate == NULL)
            return -ENOSYS;
    }
    REAL(udev_enumerate_add_match_subsystem);
    return real_fn != NULL ? real_fn(enumerate, subsystem) : -ENOSYS;
}

int udev_enumerate_scan_devices(struct udev_enumerate *enumerate)
{
    if (is_fake(enumerate, KIND_ENUMERATE)) {
        struct fake_enumerate *fake = (struct fake_enumerate *)enumerate;
        if (fake->real == NULL && fake->match_tty) {
            scan_list_file(fake);
            add_placeholder_if_empty(fake);
            return 0;
        }
        enumerate = make_real(fake);
        if (enumerate == NULL)
            return -ENOSYS;
    }
    REAL(udev_enumerate_scan_devices);
    return real_fn != NULL ? real_fn(enumerate) : -ENOSYS;
}

struct udev_list_entry *udev_enumerate_get_list_entry(struct udev_enumerate *enumerate)
{
    if (is_fake(enumerate, KIND_ENUMERATE)) {
        struct fake_enumerate *fake = (struct fake_enumerate *)enumerate;
        if (fake->real == NULL)
            return (struct udev_list_entry *)fake->entries;
        enumerate = fake->real;
    }
    REAL(udev_enumerate_get_list_entry);
    return real_fn != NULL ? real_fn(enumerate) : NULL;
}

struct udev_list_entry *udev_list_entry_get_next(struct udev_list_entry *entry)
{
    if (is_fake(entry, KIND_ENTRY))
        return (struct udev_list_entry *)((struct fake_entry *)entry)->next;
    REAL(udev_list_entry_get_next);
    return real_fn != NULL ? real_fn(entry) : NULL;
}

const char *udev_list_entry_get_name(struct udev_list_entry *entry)
{
    if (is_fake(entry, KIND_ENTRY))
        return ((struct fake_entry *)entry)->syspath;
    REAL(udev_list_entry_get_name);
    return real_fn != NULL ? real_fn(entry) : NULL;
}

struct udev_device *udev_device_new_from_syspath(struct udev *udev, const char *syspath)
{
    if (is_fake(udev, KIND_UDEV)) {
        struct fake_udev *fake = (struct fake_udev *)udev;
        if (syspath != NULL && strncmp(syspath, SYSPATH_PREFIX, strlen(SYSPATH_PREFIX)) == 0) {
            struct fake_device *device = device_from_syspath(fake, syspath);
            if (device == NULL) {
                errno = ENODEV;
                return NULL;
            }
            udev_ref(udev);
            return (struct udev_device *)device;
        }
        udev = real_udev_of(fake);
        if (udev == NULL)
            return NULL;
    }
    REAL(udev_device_new_from_syspath);
    return real_fn != NULL ? real_fn(udev, syspath) : NULL;
}

struct udev_device *udev_device_ref(struct udev_device *device)
{
    if (is_fake(device, KIND_DEVICE)) {
        ++((struct fake_device *)device)->refs;
        return device;
    }
    REAL(udev_device_ref);
    return real_fn != NULL ? real_fn(device) : NULL;
}

struct udev_device *udev_device_unref(struct udev_device *device)
{
    if (is_fake(device, KIND_DEVICE)) {
        struct fake_device *fake = (struct fake_device *)device;
        if (fake->is_parent || --fake->refs > 0)
            return NULL;
        struct fake_udev *udev = fake->udev;
        free_device(fake);
        udev_unref((struct udev *)udev);
        return NULL;
    }
    REAL(udev_device_unref);
    return real_fn != NULL ? real_fn(device) : NULL;
}

struct udev_device *udev_device_get_parent(struct udev_device *device)
{
    if (is_fake(device, KIND_DEVICE))
        return (struct udev_device *)((struct fake_device *)device)->parent;
    REAL(udev_device_get_parent);
    return real_fn != NULL ? real_fn(device) : NULL;
}

const char *udev_device_get_devnode(struct udev_device *device)
{
    if (is_fake(device, KIND_DEVICE))
        return ((struct fake_device *)device)->devnode;
    REAL(udev_device_get_devnode);
    return real_fn != NULL ? real_fn(device) : NULL;
}

const char *udev_device_get_sysname(struct udev_device *device)
{
    if (is_fake(device, KIND_DEVICE))
        return ((struct fake_device *)device)->sysname;
    REAL(udev_device_get_sysname);
    return real_fn != NULL ? real_fn(device) : NULL;
}

const char *udev_device_get_driver(struct udev_device *device)
{
    if (is_fake(device, KIND_DEVICE)) {
        const struct fake_device *fake = (const struct fake_device *)device;
        if (!fake->is_parent)
            return NULL;
        return fake->has_identity ? USB_DRIVER : PLAIN_DRIVER;
    }
    REAL(udev_device_get_driver);
    return real_fn != NULL ? real_fn(device) : NULL;
}

const char *udev_device_get_property_value(struct udev_device *device, const char *key)
{
    if (is_fake(device, KIND_DEVICE)) {
        const struct fake_device *fake = (const struct fake_device *)device;
        if (key == NULL)
            return NULL;
        if (!fake->is_parent) {
            if (strcmp(key, "DEVNAME") == 0)
                return fake->devnode;
            if (strcmp(key, "SUBSYSTEM") == 0)
                return "tty";
        }
        if (!fake->has_identity)
            return NULL;
        if (strcmp(key, "ID_VENDOR_ID") == 0)
            return fake->vendor;
        if (strcmp(key, "ID_MODEL_ID") == 0)
            return fake->product;
        if (strcmp(key, "ID_VENDOR") == 0)
            return "Solvane";
        if (strcmp(key, "ID_MODEL") == 0)
            return "Simulated_device";
        if (strcmp(key, "ID_SERIAL_SHORT") == 0)
            return fake->serial;
        if (strcmp(key, "ID_BUS") == 0)
            return "usb";
        return NULL;
    }
    REAL(udev_device_get_property_value);
    return real_fn != NULL ? real_fn(device, key) : NULL;
}

// SPDX-License-Identifier: GPL-3.0-or-later
#include "screenprofile.h"

#include <QGuiApplication>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

template <typename Reply> using ReplyPtr = std::unique_ptr<Reply, decltype(&std::free)>;

} // namespace

QByteArray x11ScreenProfileBytes() {
    const auto *x11 =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t *connection = x11 ? x11->connection() : nullptr;
    if (!connection)
        return {};
    const char name[] = "_ICC_PROFILE";
    const ReplyPtr<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 1, std::strlen(name), name),
                              nullptr),
        &std::free);
    const xcb_screen_t *screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (!atom || atom->atom == XCB_ATOM_NONE || !screen)
        return {};
    // Lengths count 32-bit units; a monitor profile stays far below 64 MiB.
    constexpr uint32_t longestProfile = (64u << 20) / 4;
    const ReplyPtr<xcb_get_property_reply_t> property(
        xcb_get_property_reply(connection,
                               xcb_get_property(connection, 0, screen->root, atom->atom,
                                                XCB_ATOM_CARDINAL, 0, longestProfile),
                               nullptr),
        &std::free);
    if (!property || property->type != XCB_ATOM_CARDINAL || property->format != 8)
        return {};
    return QByteArray(static_cast<const char *>(xcb_get_property_value(property.get())),
                      xcb_get_property_value_length(property.get()));
}

ColourProfilePtr screenProfileFrom(const QByteArray &icc) {
    if (icc.isEmpty())
        return ColourProfile::srgb();
    ColourProfilePtr profile = ColourProfile::fromBytes(icc);
    if (!profile || profile->colourSpace() != ProfileColourSpace::Rgb)
        return ColourProfile::srgb();
    return profile;
}

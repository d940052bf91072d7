#include "ShownWindow.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>
#include <xcb/xcb.h>

namespace zelvoset::posix {
namespace {

template <typename Reply> using Owned = std::unique_ptr<Reply, decltype(&std::free)>;
template <typename Reply> Owned<Reply> Own(Reply* reply) {
    return {reply, &std::free};
}

// Top-level windows, the frames a window manager puts around them, and a client inside a frame
// inside a frame: a terminal's own window lies no deeper.
constexpr int kDepth = 3;

} // namespace

bool ShowsWindow(pid_t pid) {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return false;
    int screenNumber = 0;
    const std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)> connection(
        xcb_connect(display, &screenNumber), &xcb_disconnect);
    xcb_connection_t* c = connection.get();
    if (xcb_connection_has_error(c))
        return false;
    constexpr const char* kPidAtom = "_NET_WM_PID";
    const auto atom = Own(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, std::strlen(kPidAtom), kPidAtom), nullptr));
    xcb_screen_iterator_t screen = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && screen.rem; ++i)
        xcb_screen_next(&screen);
    if (!atom || atom->atom == XCB_ATOM_NONE || !screen.rem)
        return false;

    // Level by level, every request of a level sent before the first answer is awaited.
    std::vector<xcb_window_t> level = {screen.data->root};
    for (int depth = 0; depth < kDepth && !level.empty(); ++depth) {
        std::vector<xcb_query_tree_cookie_t> trees;
        for (xcb_window_t window : level)
            trees.push_back(xcb_query_tree(c, window));
        std::vector<xcb_window_t> children;
        for (xcb_query_tree_cookie_t tree : trees)
            if (const auto reply = Own(xcb_query_tree_reply(c, tree, nullptr))) {
                const xcb_window_t* first = xcb_query_tree_children(reply.get());
                children.insert(children.end(), first,
                                first + xcb_query_tree_children_length(reply.get()));
            }
        std::vector<xcb_get_window_attributes_cookie_t> attributes;
        std::vector<xcb_get_property_cookie_t> pids;
        for (xcb_window_t window : children) {
            attributes.push_back(xcb_get_window_attributes(c, window));
            pids.push_back(xcb_get_property(c, 0, window, atom->atom, XCB_ATOM_CARDINAL, 0, 1));
        }
        level.clear();
        for (std::size_t i = 0; i < children.size(); ++i) {
            const auto shown = Own(xcb_get_window_attributes_reply(c, attributes[i], nullptr));
            const auto owner = Own(xcb_get_property_reply(c, pids[i], nullptr));
            // Viewable: mapped, and so is every window above it. A window that is not cannot
            // hold a viewable one.
            if (!shown || shown->map_state != XCB_MAP_STATE_VIEWABLE)
                continue;
            if (owner && owner->format == 32 && xcb_get_property_value_length(owner.get()) == 4 &&
                *static_cast<const std::uint32_t*>(xcb_get_property_value(owner.get())) ==
                    static_cast<std::uint32_t>(pid))
                return true;
            level.push_back(children[i]);
        }
    }
    return false;
}

} // namespace zelvoset::posix

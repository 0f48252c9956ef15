#include "Graphviz.hpp"

#include <dlfcn.h>
#include <graphviz/cgraph.h>
#include <graphviz/gvc.h>
#include <memory>
#include <mutex>

#if defined(__SANITIZE_ADDRESS__)
#define ZELK_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define ZELK_LEAK_CHECKED 1
#endif
#endif
#ifdef ZELK_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

#ifndef ZELK_GVC_SONAME
#define ZELK_GVC_SONAME "libgvc.so.6"
#endif
#ifndef ZELK_GVC_PLUGIN_DIR
#define ZELK_GVC_PLUGIN_DIR "/usr/lib/x86_64-linux-gnu/graphviz"
#endif
#ifndef ZELK_GVC_PLUGIN_SUFFIX
#define ZELK_GVC_PLUGIN_SUFFIX ".so.6"
#endif

namespace zelk::suite {
namespace {

// The functions the layout calls, typed by Graphviz's own declarations, and the one context
// of the process.
struct Library {
    decltype(&gvContextPlugins) makeContext = nullptr;
    decltype(&agmemread) read = nullptr;
    decltype(&agclose) close = nullptr;
    decltype(&gvLayout) layout = nullptr;
    decltype(&gvFreeLayout) freeLayout = nullptr;
    decltype(&gvRenderData) render = nullptr;
    decltype(&gvFreeRenderData) freeRender = nullptr;
    GVC_t* context = nullptr;
    std::string error;  // why it did not load; empty when it did
};

void* open(const std::string& name, std::string& error) {
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = "cannot load " + name + ": " + (why != nullptr ? why : "");
    }
    return handle;
}

template <typename Pointer>
bool resolve(void* handle, const char* name, Pointer& pointer, std::string& error) {
    // POSIX guarantees that a function's address survives the trip through void*.
    pointer = reinterpret_cast<Pointer>(dlsym(handle, name));  // NOLINT
    if (pointer == nullptr) {
        error = std::string("Graphviz lacks ") + name;
        return false;
    }
    return true;
}

// The libraries are loaded for good: never unloaded, since the context keeps pointers into
// them. The layout and SVG plugins are given to the context as built in, and it loads no
// other: it reads no configuration, and it measures text by Graphviz's own font metrics
// (the text plugin would measure it by the fonts this machine has, so that one page would
// be drawn differently from machine to machine).
Library load(const char* soname, const std::string& pluginDir, const std::string& suffix) {
    Library library;
    std::string& error = library.error;
    void* gvc = open(soname, error);
    if (gvc == nullptr) {
        return library;
    }
    void* dotPlugin = open(pluginDir + "/libgvplugin_dot_layout" + suffix, error);
    void* corePlugin =
        dotPlugin == nullptr ? nullptr : open(pluginDir + "/libgvplugin_core" + suffix, error);
    if (corePlugin == nullptr) {
        return library;
    }
    static lt_symlist_t builtins[] = {{"gvplugin_dot_layout_LTX_library", nullptr},
                                      {"gvplugin_core_LTX_library", nullptr},
                                      {nullptr, nullptr}};
    if (!resolve(gvc, "gvContextPlugins", library.makeContext, error) ||
        !resolve(gvc, "agmemread", library.read, error) ||
        !resolve(gvc, "agclose", library.close, error) ||
        !resolve(gvc, "gvLayout", library.layout, error) ||
        !resolve(gvc, "gvFreeLayout", library.freeLayout, error) ||
        !resolve(gvc, "gvRenderData", library.render, error) ||
        !resolve(gvc, "gvFreeRenderData", library.freeRender, error) ||
        !resolve(dotPlugin, builtins[0].name, builtins[0].address, error) ||
        !resolve(corePlugin, builtins[1].name, builtins[1].address, error)) {
        return library;
    }
    // One context for the life of the process, never freed: what it holds lives as long.
    {
#ifdef ZELK_LEAK_CHECKED
        const __lsan::ScopedDisabler kept;
#endif
        library.context = library.makeContext(builtins, 0);
    }
    if (library.context == nullptr) {
        error = "Graphviz did not start";
    }
    return library;
}

const Library& graphviz() {
    static const Library library =
        load(ZELK_GVC_SONAME, ZELK_GVC_PLUGIN_DIR, ZELK_GVC_PLUGIN_SUFFIX);
    return library;
}

}  // namespace

bool graphvizLoads(const char* soname, std::string& error) {
    error = load(soname, ZELK_GVC_PLUGIN_DIR, ZELK_GVC_PLUGIN_SUFFIX).error;
    return error.empty();
}

std::string layoutSvg(std::string_view dot, std::string& error) {
    const Library& gv = graphviz();
    if (!gv.error.empty()) {
        error = gv.error;
        return {};
    }
    // Graphviz keeps global state: one layout at a time.
    static std::mutex one;
    const std::lock_guard lock(one);
    const std::string text(dot);
    const std::unique_ptr<Agraph_t, int (*)(Agraph_t*)> graph(gv.read(text.c_str()), gv.close);
    if (!graph) {
        error = "Graphviz could not read the graph";
        return {};
    }
    int laidOut = 0;
    {
        // The dot layout of Graphviz 2.42 loses a few virtual edges that gvFreeLayout does not
        // free: not ours to free, and the leak checker is told so for this call alone.
#ifdef ZELK_LEAK_CHECKED
        const __lsan::ScopedDisabler theirs;
#endif
        laidOut = gv.layout(gv.context, graph.get(), "dot");
    }
    if (laidOut != 0) {
        error = "Graphviz's dot layout failed";
        return {};
    }
    char* data = nullptr;
    unsigned int size = 0;
    const int rendered = gv.render(gv.context, graph.get(), "svg", &data, &size);
    std::string svg = rendered == 0 && data != nullptr ? std::string(data, size) : std::string();
    gv.freeRender(data);
    gv.freeLayout(gv.context, graph.get());
    if (svg.empty()) {
        error = "Graphviz's SVG renderer failed";
    }
    return svg;
}

}  // namespace zelk::suite

// Low-level helpers shared by every unit: zero-terminated text helpers, the text-to-integer conversion,
// the current directory, large arrays in large pages, the message box and the fixed-size line buffer
// Cbcl_str.
//
// Everything here but the message boxes, the guard, the wait cursor and bcl_run_busy uses the standard
// library only; those live in Bcl_message.cpp, which only the GUI library compiles.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

class QProgressDialog;
class QWidget;

// The conversion error of bcl_str_to_int and of the amount parse. Its message is exactly
// "'TEXT' is not a valid integer value".
class Ebcl_conversion_error : public std::runtime_error {
public:
    explicit Ebcl_conversion_error(std::string_view text);
    const std::string &text() const { return text_; }

private:
    std::string text_;
};

// True when text is null or its first byte is the terminator; a text of blanks is not empty.
bool bcl_is_empty(const char *text);

// Index of the first zero byte among text[0] .. text[max - 1], or max when there is none.
std::int32_t bcl_strnlen(const char *text, std::int32_t max);

// Copies src into dest, at most size - 1 characters and a terminator (a negative size is unbounded).
// Writes nothing when dest is null, src is null or empty, or size is 0. Returns the characters copied.
std::int32_t bcl_str_copy(char *dest, const char *src, std::int32_t size);

// Converts a whole text: leading blanks, an optional sign, then decimal digits within the signed 32-bit
// range, or hexadecimal digits (an unsigned 32-bit pattern) behind "$", "x", "X", "0x" or "0X".
// A null or empty text is 0. Anything else throws Ebcl_conversion_error.
std::int32_t bcl_str_to_int(const char *text);
std::int32_t bcl_str_to_int(std::string_view text);

// The conversion without the empty-text rule: an empty text throws like any other bad text.
std::int32_t bcl_text_to_int(std::string_view text);

// Deletes every occurrence of ch from text, in place. Always returns 1.
int bcl_str_remove_char(char *text, char ch);

// The process's current working directory, of any length.
std::string bcl_get_current_dir();

// Modal information box with one OK button, owned by owner. Shows nothing when text or caption is null.
void bcl_show_message(QWidget *owner, const char *text, const char *caption);

// The standard error box: message as text, the application title as caption, an error icon, OK.
// Details, when given, go into the box's details, one problem a line, without wrapping. The box never
// grows taller than the screen: a message of more lines than fit shows its first lines and goes whole
// into the details, which scroll.
void bcl_show_error(QWidget *owner, const std::string &message, const std::string &details = {});

// Moves a window that is about to show, or shows, so that it lies whole on its screen's free area (the
// frame of another top-level window taken as its own while the system has not told its own yet).
void bcl_keep_on_screen(QWidget *window);
// Keeps every dialog of the application on the screen when it shows (bcl_keep_on_screen); made once,
// by the main window.
void bcl_keep_dialogs_on_screen();

// Runs work; an exception that escapes it is shown in the standard error box instead of unwinding
// through Qt. Returns false when it did. Every event handler runs its work through this guard.
bool bcl_guard(QWidget *owner, const std::function<void()> &work);

// Shows the wait cursor for as long as it lives, however its scope is left.
class Tbcl_wait_cursor {
public:
    Tbcl_wait_cursor();
    ~Tbcl_wait_cursor();
    Tbcl_wait_cursor(const Tbcl_wait_cursor &) = delete;
    Tbcl_wait_cursor &operator=(const Tbcl_wait_cursor &) = delete;
};

// A new progress dialog of the program's, not yet shown, owned by the caller: object name name, the
// application's title, Cancel, a range of 0 to maximum (0: the bar only moves), application-modal,
// neither closed nor reset by reaching its maximum, wide enough for its whole title.
QProgressDialog *bcl_new_progress_dialog(QWidget *owner, const char *name, int maximum);

// How far work run by bcl_run_busy has come, and whether Cancel was pressed.
struct Tbcl_busy {
    std::atomic<std::size_t> done{0};
    std::size_t total = 0; // what done counts up to; 0 when that is not known (the bar then only moves)
    std::atomic<bool> cancel{false};
};

// Runs work on a thread of its own and returns once it has returned, its exception thrown again here.
// Meanwhile the window answers no input: after delay_ms an application-modal progress dialog (object
// name name, the application's title, label, the count of busy and Cancel) shows under the busy
// cursor, and Cancel sets busy.cancel for work to see. Returns whether Cancel was pressed.
bool bcl_run_busy(QWidget *owner, const char *name, const std::string &label, int delay_ms, Tbcl_busy &busy,
                  const std::function<void()> &work);
// Called on the work's thread before each work of bcl_run_busy (tests hold the work there); none by default.
void bcl_set_busy_start(std::function<void(const Tbcl_busy &)> hook);

// Memory of at least 2 MiB mapped straight from the system, in large pages where it offers them, and
// given back to it when freed; bytes is the size asked for. Throws std::bad_alloc.
void *bcl_map_pages(std::size_t bytes);
void bcl_unmap_pages(void *pages, std::size_t bytes);

// An allocator for large arrays read and written at random places (the store's index, the list's sort
// keys): from 2 MiB on, the memory of bcl_map_pages, so that a place costs one entry of the processor's
// address cache per 2 MiB instead of per 4 KiB and the memory goes back to the system at once when freed
// (the C library may keep freed blocks for later); smaller arrays as usual.
template <class T> struct Tbcl_large_pages {
    using value_type = T;
    static constexpr std::size_t mapped_from = std::size_t{2} << 20;
    Tbcl_large_pages() = default;
    template <class U> Tbcl_large_pages(const Tbcl_large_pages<U> &) {}
    T *allocate(std::size_t n)
    {
        if (n * sizeof(T) < mapped_from)
            return std::allocator<T>().allocate(n);
        return static_cast<T *>(bcl_map_pages(n * sizeof(T)));
    }
    void deallocate(T *p, std::size_t n)
    {
        if (n * sizeof(T) < mapped_from)
            std::allocator<T>().deallocate(p, n);
        else
            bcl_unmap_pages(p, n * sizeof(T));
    }
    friend bool operator==(const Tbcl_large_pages &, const Tbcl_large_pages &) { return true; }
};

// A fixed-size, zero-filled character buffer into which formatted lines are printed.
class Cbcl_str {
public:
    explicit Cbcl_str(std::int32_t size);
    virtual ~Cbcl_str();
    Cbcl_str(const Cbcl_str &) = delete;
    Cbcl_str &operator=(const Cbcl_str &) = delete;

    void clear();
    char *buffer() const { return chars; }
    std::int32_t allocated() const { return size; }

private:
    char *chars = nullptr;
    std::int32_t size = 0;
};

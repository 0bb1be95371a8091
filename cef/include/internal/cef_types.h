// Plain C types of the engine API: settings, window information, enumerations.
#ifndef CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
#define CEF_INCLUDE_INTERNAL_CEF_TYPES_H_
#pragma once

#include <cstddef>
#include <cstdint>

#include "include/internal/cef_string.h"

typedef uint32_t cef_color_t;

///
/// Native window handle. On X11 this is the window's XID, as returned by
/// QWidget::winId().
///
typedef unsigned long cef_window_handle_t;
typedef cef_window_handle_t CefWindowHandle;

///
/// Log severity levels. Only LOGSEVERITY_DISABLE changes anything here: it
/// silences the engine's own output.
///
typedef enum {
  LOGSEVERITY_DEFAULT,
  LOGSEVERITY_VERBOSE,
  LOGSEVERITY_DEBUG = LOGSEVERITY_VERBOSE,
  LOGSEVERITY_INFO,
  LOGSEVERITY_WARNING,
  LOGSEVERITY_ERROR,
  LOGSEVERITY_FATAL,
  LOGSEVERITY_DISABLE = 99
} cef_log_severity_t;

///
/// Tri-state value of browser settings.
///
typedef enum {
  STATE_DEFAULT = 0,
  STATE_ENABLED,
  STATE_DISABLED,
} cef_state_t;

///
/// Initialization settings. Fields that this engine honours: no_sandbox,
/// browser_subprocess_path, multi_threaded_message_loop,
/// command_line_args_disabled, cache_path, persist_session_cookies,
/// user_agent, locale, log_severity, remote_debugging_port and
/// accept_language_list.
///
typedef struct _cef_settings_t {
  size_t size;
  int no_sandbox;
  cef_string_t browser_subprocess_path;
  int multi_threaded_message_loop;
  int external_message_pump;
  int windowless_rendering_enabled;
  int command_line_args_disabled;
  cef_string_t cache_path;
  cef_string_t root_cache_path;
  cef_string_t user_data_path;
  int persist_session_cookies;
  int persist_user_preferences;
  cef_string_t user_agent;
  cef_string_t product_version;
  cef_string_t locale;
  cef_string_t log_file;
  cef_log_severity_t log_severity;
  cef_string_t javascript_flags;
  cef_string_t resources_dir_path;
  cef_string_t locales_dir_path;
  int pack_loading_disabled;
  int remote_debugging_port;
  int uncaught_exception_stack_size;
  int ignore_certificate_errors;
  cef_color_t background_color;
  cef_string_t accept_language_list;
} cef_settings_t;

///
/// Browser initialization settings. Honoured: default_encoding, the font
/// sizes, javascript, image_loading, local_storage, webgl and
/// background_color.
///
typedef struct _cef_browser_settings_t {
  size_t size;
  int windowless_frame_rate;
  cef_string_t standard_font_family;
  cef_string_t default_encoding;
  int default_font_size;
  int default_fixed_font_size;
  int minimum_font_size;
  cef_state_t javascript;
  cef_state_t javascript_access_clipboard;
  cef_state_t image_loading;
  cef_state_t local_storage;
  cef_state_t webgl;
  cef_color_t background_color;
} cef_browser_settings_t;

typedef struct _cef_rect_t {
  int x;
  int y;
  int width;
  int height;
} cef_rect_t;

///
/// Native window information, X11 flavour: the browser becomes a child of
/// |parent_window| at |bounds|, or a top-level window of its own when
/// |parent_window| is 0. |window| is the browser's own window once created.
///
typedef struct _cef_window_info_t {
  cef_string_t window_name;
  cef_rect_t bounds;
  cef_window_handle_t parent_window;
  int windowless_rendering_enabled;
  int shared_texture_enabled;
  int external_begin_frame_enabled;
  cef_window_handle_t window;
} cef_window_info_t;

///
/// Arguments of the process entry, X11 flavour.
///
typedef struct _cef_main_args_t {
  int argc;
  char** argv;
} cef_main_args_t;

///
/// Threads of the browser process that tasks can be posted to. This engine
/// runs TID_UI only; posting to any other thread fails.
///
typedef enum {
  TID_UI,
  TID_FILE_BACKGROUND,
  TID_FILE_USER_VISIBLE,
  TID_FILE_USER_BLOCKING,
  TID_PROCESS_LAUNCHER,
  TID_IO,
  TID_RENDERER,
} cef_thread_id_t;

///
/// Network error codes as Chromium reports them.
///
typedef enum {
  ERR_NONE = 0,
#define NET_ERROR(label, value) ERR_##label = value,
#include "include/base/internal/cef_net_error_list.h"
#undef NET_ERROR
} cef_errorcode_t;

///
/// How a navigation started.
///
typedef enum {
  TT_LINK = 0,
  TT_EXPLICIT = 1,
  TT_AUTO_SUBFRAME = 3,
  TT_MANUAL_SUBFRAME = 4,
  TT_FORM_SUBMIT = 7,
  TT_RELOAD = 8,
} cef_transition_type_t;

///
/// How a render process ended.
///
typedef enum {
  TS_ABNORMAL_TERMINATION,
  TS_PROCESS_WAS_KILLED,
  TS_PROCESS_CRASHED,
  TS_PROCESS_OOM,
} cef_termination_status_t;

///
/// Kinds of JavaScript dialog.
///
typedef enum {
  JSDIALOGTYPE_ALERT = 0,
  JSDIALOGTYPE_CONFIRM,
  JSDIALOGTYPE_PROMPT,
} cef_jsdialog_type_t;

///
/// Kinds of file dialog a page can ask for.
///
typedef enum {
  /// One existing file.
  FILE_DIALOG_OPEN = 0,
  /// Any number of existing files.
  FILE_DIALOG_OPEN_MULTIPLE,
  /// One existing folder.
  FILE_DIALOG_OPEN_FOLDER,
  /// A file to save to.
  FILE_DIALOG_SAVE,
} cef_file_dialog_mode_t;

///
/// Capture devices a page asks for, as a bit mask.
///
typedef enum {
  CEF_MEDIA_PERMISSION_NONE = 0,
  CEF_MEDIA_PERMISSION_DEVICE_AUDIO_CAPTURE = 1 << 0,
  CEF_MEDIA_PERMISSION_DEVICE_VIDEO_CAPTURE = 1 << 1,
  CEF_MEDIA_PERMISSION_DESKTOP_AUDIO_CAPTURE = 1 << 2,
  CEF_MEDIA_PERMISSION_DESKTOP_VIDEO_CAPTURE = 1 << 3,
} cef_media_access_permission_types_t;

///
/// Permissions other than capture devices that a page can ask for, as a bit
/// mask. Only those this engine can report are listed.
///
typedef enum {
  CEF_PERMISSION_TYPE_NONE = 0,
  CEF_PERMISSION_TYPE_GEOLOCATION = 1 << 8,
  CEF_PERMISSION_TYPE_NOTIFICATIONS = 1 << 14,
  CEF_PERMISSION_TYPE_POINTER_LOCK = 1 << 20,
} cef_permission_request_types_t;

///
/// The answer to a permission prompt.
///
typedef enum {
  CEF_PERMISSION_RESULT_ACCEPT,
  CEF_PERMISSION_RESULT_DENY,
  CEF_PERMISSION_RESULT_DISMISS,
  CEF_PERMISSION_RESULT_IGNORE,
} cef_permission_request_result_t;

///
/// What is wrong with a server's certificate, as a bit mask. Only those this
/// engine can report are listed.
///
typedef enum {
  CERT_STATUS_NONE = 0,
  CERT_STATUS_COMMON_NAME_INVALID = 1 << 0,
  CERT_STATUS_DATE_INVALID = 1 << 1,
  CERT_STATUS_AUTHORITY_INVALID = 1 << 2,
  CERT_STATUS_REVOKED = 1 << 6,
  CERT_STATUS_INVALID = 1 << 7,
  CERT_STATUS_WEAK_SIGNATURE_ALGORITHM = 1 << 8,
  CERT_STATUS_WEAK_KEY = 1 << 11,
} cef_cert_status_t;

///
/// Keyboard event types. Presses are reported as KEYEVENT_RAWKEYDOWN.
///
typedef enum {
  KEYEVENT_RAWKEYDOWN = 0,
  KEYEVENT_KEYDOWN,
  KEYEVENT_KEYUP,
  KEYEVENT_CHAR
} cef_key_event_type_t;

///
/// Modifier flags of input events.
///
typedef enum {
  EVENTFLAG_NONE = 0,
  EVENTFLAG_CAPS_LOCK_ON = 1 << 0,
  EVENTFLAG_SHIFT_DOWN = 1 << 1,
  EVENTFLAG_CONTROL_DOWN = 1 << 2,
  EVENTFLAG_ALT_DOWN = 1 << 3,
  EVENTFLAG_LEFT_MOUSE_BUTTON = 1 << 4,
  EVENTFLAG_MIDDLE_MOUSE_BUTTON = 1 << 5,
  EVENTFLAG_RIGHT_MOUSE_BUTTON = 1 << 6,
  EVENTFLAG_COMMAND_DOWN = 1 << 7,
  EVENTFLAG_NUM_LOCK_ON = 1 << 8,
  EVENTFLAG_IS_KEY_PAD = 1 << 9,
  EVENTFLAG_IS_LEFT = 1 << 10,
  EVENTFLAG_IS_RIGHT = 1 << 11,
  EVENTFLAG_ALTGR_DOWN = 1 << 12,
  EVENTFLAG_IS_REPEAT = 1 << 13,
} cef_event_flags_t;

///
/// A keyboard event. |windows_key_code| is the Windows virtual key code
/// (VK_F5 is 0x74, VK_OEM_PLUS 0xBB, the digits and letters their ASCII
/// capitals); |native_key_code| the X11 key code; |character| the text the
/// key typed, if any.
///
typedef struct _cef_key_event_t {
  size_t size;
  cef_key_event_type_t type;
  uint32_t modifiers;
  int windows_key_code;
  int native_key_code;
  int is_system_key;
  char16_t character;
  char16_t unmodified_character;
  int focus_on_editable_field;
} cef_key_event_t;

///
/// The native event behind an input event. Qt does not hand out the X11
/// event, so it is always null here.
///
typedef void* cef_event_handle_t;

///
/// Zoom commands: one of Chromium's preset steps out or in, or back to 100%.
///
typedef enum {
  CEF_ZOOM_COMMAND_OUT,
  CEF_ZOOM_COMMAND_RESET,
  CEF_ZOOM_COMMAND_IN,
} cef_zoom_command_t;

#endif  // CEF_INCLUDE_INTERNAL_CEF_TYPES_H_

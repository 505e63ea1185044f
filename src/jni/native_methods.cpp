// The two native methods of agent.brel.VELANative. Each runs in the "C" locale (the host
// sets its own from the environment, and the files' numbers go through printf) and in
// library mode, and leaves both as it found them. The scheduler's state is process-wide,
// so each call holds the monitor of the VELANative class throughout: calls from any
// threads, on any objects, run one at a time.
#include <jni.h>
#include <locale.h>

#include <cstdio>
#include <vector>

#include "agent_brel_VELANative.h"
#include "jni/in_memory_run.h"
#include "jni/library_driver.h"
#include "jni/tracking_allocator.h"
#include "scheduler/library_mode.h"
#include "scheduler/scheduler.h"

namespace {

// The VELANative class's monitor, held from construction to destruction. The lock is the
// JVM's, so the library keeps no lock state of its own.
class ClassMonitor {
 public:
  // The class is looked up by the loader of the native methods, so a subclass's object
  // takes the same lock.
  explicit ClassMonitor(JNIEnv* env) : env(env), type(env->FindClass("agent/brel/VELANative")) {
    if (type != nullptr && env->MonitorEnter(type) != JNI_OK) {
      env->DeleteLocalRef(type);
      type = nullptr;
    }
  }
  ~ClassMonitor() {
    if (type == nullptr) return;
    env->MonitorExit(type);
    env->DeleteLocalRef(type);
  }
  ClassMonitor(const ClassMonitor&) = delete;
  ClassMonitor& operator=(const ClassMonitor&) = delete;

  // Whether the lock is held; when not, an exception is pending for the host.
  bool held() const { return type != nullptr; }

 private:
  JNIEnv* env;
  jclass type;
};

// Made at load; null if the system could not make it, and then the host's locale stays.
const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
// The first call_vela sets the tracker up; later ones keep its blocks.
bool has_setup = false;

// The "C" locale and library mode for one native call.
class LibraryCall {
 public:
  LibraryCall() : host_locale(c_locale != nullptr ? uselocale(c_locale) : nullptr) { vela_library_mode = true; }
  ~LibraryCall() {
    vela_library_mode = false;
    if (host_locale != nullptr) uselocale(host_locale);
  }
  LibraryCall(const LibraryCall&) = delete;
  LibraryCall& operator=(const LibraryCall&) = delete;

 private:
  locale_t host_locale;
};

// A Java string's characters, released with the object; null for a null string, and
// also when the host is out of memory (an exception is then pending).
class HostText {
 public:
  HostText(JNIEnv* env, jstring text)
      : env(env), text(text), chars(text != nullptr ? env->GetStringUTFChars(text, nullptr) : nullptr) {}
  ~HostText() {
    if (chars != nullptr) env->ReleaseStringUTFChars(text, chars);
  }
  HostText(const HostText&) = delete;
  HostText& operator=(const HostText&) = delete;

  // Whether the host could not hand over a string it passed.
  bool failed() const { return text != nullptr && chars == nullptr; }
  const char* get() const { return chars; }

 private:
  JNIEnv* env;
  jstring text;
  const char* chars;
};

void write_debug_file(const char* schedules) {
  FILE* file = fopen("output.tvorna_schedules", "w");
  if (file == nullptr) {
    fprintf(stderr, "can't write debug file...\n");
    return;
  }
  if (schedules != nullptr) fprintf(file, "%s", schedules);
  if (fclose(file) != 0) fprintf(stderr, "can't write debug file...\n");
}

}  // namespace

JNIEXPORT jstring JNICALL Java_agent_brel_VELANative_call_1vela(JNIEnv* env, jobject, jint numschedules,
                                                               jstring jpruning_setting, jint intermediate_alt_size,
                                                               jint tgalt_size, jint display_via_dot, jstring jtvorna,
                                                               jboolean debug_file) {
  ClassMonitor monitor(env);
  if (!monitor.held()) return nullptr;
  LibraryCall call;
  jstring result = nullptr;
  {
    HostText pruning(env, jpruning_setting);
    if (pruning.failed()) return nullptr;
    HostText tvorna(env, jtvorna);
    if (tvorna.failed()) return nullptr;
    if (!has_setup) {
      library_tracker.setup_hash();
      has_setup = true;
    }
    char* schedules = nullptr;
    // A null text has nothing to schedule; a null pruning setting counts as "".
    if (tvorna.get() != nullptr) {
      Scheduler::silent = 1;
      schedules = vela_java::jni_client(numschedules, pruning.get() != nullptr ? pruning.get()[0] : '\0',
                                        intermediate_alt_size, tgalt_size, display_via_dot, tvorna.get());
      Scheduler::silent = 0;
    }
    if (schedules != nullptr) result = env->NewStringUTF(schedules);
    if (debug_file == JNI_TRUE) write_debug_file(schedules);
    // The Java string is a copy. Left to the tracker, the text would be lost, not freed,
    // when a driver run sets the tracker up afresh.
    delete[] schedules;
  }
  vela_java::release_after_run(false);
  return result;
}

JNIEXPORT void JNICALL Java_agent_brel_VELANative_call_1vela_1normal(JNIEnv* env, jobject, jobjectArray args) {
  ClassMonitor monitor(env);
  if (!monitor.held()) return;
  LibraryCall call;
  FILE* kept_stdout = stdout;
  FILE* kept_stderr = stderr;
  jsize n = args != nullptr ? env->GetArrayLength(args) : 0;
  std::vector<jstring> elements;
  std::vector<const char*> chars;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>("vela"));
  bool host_out_of_memory = false;
  for (jsize i = 0; i < n && !host_out_of_memory; i++) {
    auto element = static_cast<jstring>(env->GetObjectArrayElement(args, i));
    const char* text = element != nullptr ? env->GetStringUTFChars(element, nullptr) : "";
    if (text == nullptr) {
      env->DeleteLocalRef(element);
      host_out_of_memory = true;
      break;
    }
    elements.push_back(element);
    chars.push_back(text);
    argv.push_back(const_cast<char*>(text));
  }
  argv.push_back(nullptr);
  if (!host_out_of_memory) vela_java::main(static_cast<int>(argv.size()) - 1, argv.data());
  for (std::size_t i = 0; i < elements.size(); i++) {
    if (elements[i] != nullptr) {
      env->ReleaseStringUTFChars(elements[i], chars[i]);
      env->DeleteLocalRef(elements[i]);
    }
  }
  stdout = kept_stdout;
  stderr = kept_stderr;
}

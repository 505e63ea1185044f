package agent.brel;

/**
 * The scheduler as a native library: schedules for a task-structure text, or a whole command-line run.
 * The scheduler's state is process-wide: concurrent calls, from any threads and on any objects, wait
 * for each other (each call holds the monitor of this class).
 */
public class VELANative {
    static {
        System.loadLibrary("vela-java");
    }

    /** The good schedules as spec_schedule records, or null without a usable schedule. */
    public native String call_vela(int numschedules, String pruning_setting, int intermediate_alt_size,
                                   int tgalt_size, int display_via_dot, String vorna, boolean write_debug_file);

    /** The scheduling program's run on these arguments (without the program name). */
    public native void call_vela_normal(String[] args);
}

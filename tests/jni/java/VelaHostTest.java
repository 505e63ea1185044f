import agent.brel.VELANative;

import java.io.File;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Queue;
import java.util.concurrent.ConcurrentLinkedQueue;

/**
 * The library as a Java host sees it. Each case runs in its own JVM and working folder
 * (the test's); a case that needs the native side's console or ends the host runs the
 * action "child ..." in a further JVM and checks its status and output. Status 0 is a
 * pass, 77 a skip; a failure throws.
 */
public class VelaHostTest {
    static Path files;
    static Path examples;
    static final VELANative vela = new VELANative();

    public static void main(String[] args) throws Exception {
        files = Paths.get(args[1], "tests", "jni", "files");
        examples = Paths.get(args[1], "examples");
        if (args[0].equals("child")) {
            child(Arrays.copyOfRange(args, 2, args.length));
            return;
        }
        switch (args[0]) {
            case "three_methods" -> threeMethods();
            case "debug_file" -> debugFile();
            case "quiet" -> quiet();
            case "normal_run" -> normalRun(args[1]);
            case "ends_host" -> endsHost(args[1]);
            case "locale" -> System.exit(locale(args[1]));
            case "endurance" -> endurance(args[1]);
            case "concurrent_calls" -> concurrentCalls(args[1]);
            case "alternating" -> alternating(args[1]);
            default -> throw new IllegalArgumentException("no case " + args[0]);
        }
    }

    // ---------------------------------------------------------------- helpers

    static void check(boolean condition, String what) {
        if (!condition) throw new AssertionError(what);
    }

    static String text(String name) throws IOException {
        return Files.readString(files.resolve(name));
    }

    static int records(String schedules) {
        return schedules == null ? -1 : schedules.split("\\(spec_schedule\n", -1).length - 1;
    }

    static String fromScheduler(String pruning, int tgAlts, String vorna) {
        return vela.call_vela(15, pruning, 50, tgAlts, 0, vorna, false);
    }

    // Slack ids come from a process-wide counter.
    static String slackFree(String schedules) {
        return schedules == null ? null : schedules.replaceAll("Slack_MyTime_[0-9]+", "Slack_MyTime_");
    }

    record Run(int status, String out, String err) {}

    // The action in a JVM of its own, in `folder`, with extra JVM options and environment.
    static Run childRun(String source, Path folder, List<String> jvmOptions, List<String> environment,
                        String... action) throws Exception {
        List<String> command = new ArrayList<>();
        command.add(Paths.get(System.getProperty("java.home"), "bin", "java").toString());
        command.add("-Djava.library.path=" + System.getProperty("java.library.path"));
        command.add("-cp");
        command.add(System.getProperty("java.class.path"));
        command.addAll(jvmOptions);
        command.add("VelaHostTest");
        command.add("child");
        command.add(source);
        command.addAll(Arrays.asList(action));
        ProcessBuilder builder = new ProcessBuilder(command).directory(folder.toFile());
        for (String setting : environment) {
            String[] parts = setting.split("=", 2);
            builder.environment().put(parts[0], parts[1]);
        }
        File out = folder.resolve("child.stdout").toFile();
        File err = folder.resolve("child.stderr").toFile();
        builder.redirectOutput(out).redirectError(err);
        int status = builder.start().waitFor();
        return new Run(status, Files.readString(out.toPath(), StandardCharsets.ISO_8859_1),
                       Files.readString(err.toPath(), StandardCharsets.ISO_8859_1));
    }

    static Run childRun(String source, String... action) throws Exception {
        return childRun(source, Paths.get("."), List.of(), List.of(), action);
    }

    // What a child JVM does: the native call named, then a line on each Java stream.
    static void child(String[] action) throws Exception {
        switch (action[0]) {
            case "call_vela" -> System.out.println(records(fromScheduler("p", 100, Files.readString(Paths.get(action[1])))));
            case "normal" -> vela.call_vela_normal(Arrays.copyOfRange(action, 1, action.length));
            case "normal_null" -> vela.call_vela_normal(null);
            case "endurance" -> enduranceCalls(Files.readString(Paths.get(action[1])));
            case "concurrent" -> concurrent(action[1]);
            case "alternating" -> alternatingCalls(action[1]);
            default -> throw new IllegalArgumentException("no action " + action[0]);
        }
        System.out.println("java stdout after the call");
        System.err.println("java stderr after the call");
    }

    // ---------------------------------------------------------------- cases

    static void threeMethods() throws Exception {
        String three = text("three.tvorna");
        check(records(fromScheduler("p", 1, three)) == 1, "pruning with one task-group alternative gives one record");
        for (String pruning : new String[] {"n", "", null})
            check(records(fromScheduler(pruning, 100, three)) == 7, "no pruning (" + pruning + ") gives all seven");
        check(records(fromScheduler("n", 100, text("three_target3.tvorna"))) == 3, "the text's target of 3 wins");
        check(fromScheduler("n", 100, null) == null, "a null text gives null");
        String best = fromScheduler("p", 1, three);
        check(best.startsWith("(spec_schedule\n\t(schedule_elements\n\t    (A\n"), "the best holds the best method");
    }

    static void debugFile() throws Exception {
        Path debug = Paths.get("output.tvorna_schedules");
        Files.deleteIfExists(debug);
        String three = text("three.tvorna");
        vela.call_vela(15, "n", 50, 100, 0, three, false);
        check(!Files.exists(debug), "no debug file unless asked");
        String schedules = vela.call_vela(15, "n", 50, 100, 0, three, true);
        check(Files.readString(debug).equals(schedules), "the debug file holds the returned text");
        check(vela.call_vela(15, "n", 50, 100, 0, null, true) == null, "a null text gives null");
        check(Files.size(debug) == 0, "a null result leaves an empty debug file");
    }

    static void quiet() throws Exception {
        Run run = childRun(examples.getParent().toString(), "call_vela",
                           examples.resolve("commitments_and_criteria.tvorna").toString());
        check(run.status() == 0 && run.out().startsWith("1\n") || run.out().matches("(?s)[1-9][0-9]*\n.*"),
              "the run returns schedules: " + run.out());
        for (String line : new String[] {"Reading t-vorna input string.", "Scheduling for agent", "Scheduling round #",
                                         "Build Statistics:", "Scheduling operation concluded normally."})
            check(!run.err().contains(line), "stderr keeps quiet about " + line);
        check(run.err().contains("java stderr after the call"), "System.err still prints");
    }

    static void normalRun(String source) throws Exception {
        String three = text("three.tvorna");
        String before = fromScheduler("n", 100, three);
        Run run = childRun(source, "normal", files.resolve("three.tvorna").toString(), "run");
        check(run.status() == 0, "the driver returns to the host: " + run.err());
        check(run.out().contains("java stdout after the call") && run.err().contains("java stderr after the call"),
              "System.out and System.err still print");
        check(run.err().contains("\nReturning exit condition 0 to caller.\n"), "the run concludes");
        for (String name : new String[] {"tvorna_schedules", "schedules_for_people", "simple_schedule"})
            check(Files.size(Paths.get("run." + name)) > 0, "run." + name + " is written");
        vela.call_vela_normal(new String[] {files.resolve("three.tvorna").toString(), "here"});
        check(Files.exists(Paths.get("here.schedules_for_people")), "a call in this JVM returns too");
        check(fromScheduler("n", 100, three).equals(before), "call_vela gives the same text after the driver");
    }

    static void endsHost(String source) throws Exception {
        for (String[] action : new String[][] {{"normal"}, {"normal_null"}}) {
            Run run = childRun(source, action);
            check(run.status() == 1 && run.err().contains("Usage Notes:"), action[0] + " prints the usage, status 1");
            check(!run.out().contains("java stdout after the call"), "the host ends with it");
        }
        Run none = childRun(source, "normal", files.resolve("no_agents.tvorna").toString(), "none");
        check(none.status() == 1 && none.err().contains("Error, no agents defined in t-vorna file.\n"),
              "no agents ends the host with 1: " + none.status());
        Run syntax = childRun(source, "call_vela", files.resolve("syntax_error.tvorna").toString());
        check(syntax.status() == 134, "a syntax error aborts the host: " + syntax.status());
        check(syntax.err().contains("Vorna error:  parse error at line 3 of file from string."),
              "the error names the string: " + syntax.err());
    }

    // 0: same listing under a comma-decimal locale as under "C"; 77: no such locale here.
    static int locale(String source) throws Exception {
        Path definitions = Paths.get("locales").toAbsolutePath();
        Files.createDirectories(definitions);
        Process make = new ProcessBuilder("localedef", "-i", "de_DE", "-f", "UTF-8",
                                          definitions.resolve("de_DE.UTF-8").toString()).inheritIO().start();
        if (make.waitFor() != 0 && !Files.exists(definitions.resolve("de_DE.UTF-8"))) return 77;
        String input = files.resolve("five.tvorna").toString();
        List<String> comma = List.of("LOCPATH=" + definitions, "LC_ALL=de_DE.UTF-8");
        Files.createDirectories(Paths.get("c"));
        Files.createDirectories(Paths.get("de"));
        Run c = childRun(source, Paths.get("c"), List.of(), List.of("LC_ALL=C"), "normal", input, "run");
        Run de = childRun(source, Paths.get("de"), List.of(), comma, "normal", input, "run");
        check(c.status() == 0 && de.status() == 0, "both runs return");
        String people = Files.readString(Paths.get("c", "run.schedules_for_people"));
        check(people.contains("."), "the listing has numbers");
        check(Files.readString(Paths.get("de", "run.schedules_for_people")).equals(people),
              "the comma-decimal locale changes no number");
        return 0;
    }

    // The action in a JVM whose heap is all resident from the start, so that resident
    // memory grows only with the native side.
    static Run fixedHeapRun(String source, String... action) throws Exception {
        return childRun(source, Paths.get("."), List.of("-Xms64m", "-Xmx64m", "-XX:+AlwaysPreTouch"), List.of(), action);
    }

    static void endurance(String source) throws Exception {
        Run run = fixedHeapRun(source, "endurance", files.resolve("five.tvorna").toString());
        check(run.status() == 0, "the calls end normally: " + run.err());
        check(!run.out().contains("WARNING: delete encountered 0x0"), "no null delete");
        check(run.out().contains("java stdout after the call"), "all calls made");
    }

    static long residentKb() throws IOException {
        for (String line : Files.readAllLines(Paths.get("/proc/self/status")))
            if (line.startsWith("VmRSS:")) return Long.parseLong(line.replaceAll("[^0-9]", ""));
        throw new IOException("no VmRSS");
    }

    static void enduranceCalls(String vorna) throws Exception {
        String first = slackFree(fromScheduler("n", 100, vorna));
        check(first.length() >= 20000, "the result is long enough to make the tracker flush: " + first.length());
        long at100 = 0;
        for (int call = 2; call <= 1000; call++) {
            String result = fromScheduler("n", 100, vorna);
            check(result != null && slackFree(result).equals(first),
                  "call " + call + " gives the first result");
            if (call == 100) at100 = residentKb();
        }
        long growth = residentKb() - at100;
        check(growth < 8 * 1024, "resident memory grows by " + growth + " KB");
    }

    static void concurrentCalls(String source) throws Exception {
        Run run = childRun(source, "concurrent", files.resolve("five.tvorna").toString());
        check(run.status() == 0, "the threads' calls end normally: status " + run.status() + "\n" + run.out() + run.err());
        check(run.out().contains("java stdout after the call"), "all calls made");
    }

    // Four threads with a host object each, then four sharing one; each alternates the two
    // methods and must get what a lone call gets.
    static void concurrent(String input) throws Exception {
        String vorna = Files.readString(Paths.get(input));
        String expected = slackFree(fromScheduler("n", 100, vorna));
        vela.call_vela_normal(new String[] {input, "alone"});
        String[] outputs = {"tvorna_schedules", "schedules_for_people"};
        List<String> expectedFiles = new ArrayList<>();
        for (String output : outputs) expectedFiles.add(slackFree(Files.readString(Paths.get("alone." + output))));
        Queue<Throwable> failures = new ConcurrentLinkedQueue<>();
        for (boolean shared : new boolean[] {false, true}) {
            List<Thread> threads = new ArrayList<>();
            for (int t = 0; t < 4; t++) {
                VELANative host = shared ? vela : new VELANative();
                String prefix = (shared ? "shared" : "own") + t;
                Thread thread = new Thread(() -> {
                    try {
                        for (int call = 0; call < 10; call++) {
                            String result = host.call_vela(15, "n", 50, 100, 0, vorna, false);
                            check(expected.equals(slackFree(result)), prefix + " call " + call + " gives the lone result");
                            host.call_vela_normal(new String[] {input, prefix});
                            for (int i = 0; i < outputs.length; i++)
                                check(slackFree(Files.readString(Paths.get(prefix + "." + outputs[i]))).equals(expectedFiles.get(i)),
                                      prefix + " run " + call + " writes the lone run's " + outputs[i]);
                        }
                    } catch (Throwable failure) {
                        failures.add(failure);
                    }
                });
                threads.add(thread);
                thread.start();
            }
            for (Thread thread : threads) thread.join();
        }
        if (!failures.isEmpty()) throw new AssertionError(failures.size() + " threads failed", failures.peek());
    }

    static void alternating(String source) throws Exception {
        Run run = fixedHeapRun(source, "alternating", files.resolve("five.tvorna").toString());
        String err = run.err();
        check(run.status() == 0, "the calls end normally: " + err.substring(Math.max(0, err.length() - 1000)));
        check(run.out().contains("java stdout after the call"), "all calls made");
    }

    // A driver run between schedule requests starts the tracker afresh; what a request
    // left in it must not be lost to it.
    static void alternatingCalls(String input) throws Exception {
        String vorna = Files.readString(Paths.get(input));
        String first = slackFree(fromScheduler("n", 100, vorna));
        long at200 = 0;
        for (int alternation = 1; alternation <= 1000; alternation++) {
            // Compared now and then: the comparison's own compiled code would be measured too.
            String result = alternation > 1 ? fromScheduler("n", 100, vorna) : first;
            check(result != null && (alternation % 100 != 0 || slackFree(result).equals(first)),
                  "alternation " + alternation + " gives the first result");
            vela.call_vela_normal(new String[] {input, "run"});
            if (alternation == 200) at200 = residentKb();
        }
        long growth = residentKb() - at200;
        check(growth < 8 * 1024, "resident memory grows by " + growth + " KB");
    }
}

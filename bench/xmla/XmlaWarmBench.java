// The warm XMLA benchmark's client: times analyst questions as a pivot client's XMLA driver
// (olap4j) sees them.
//
// Usage: java XmlaWarmBench URL QUESTION_FILE ANSWER_FILE [RUNS]
//
// Connects to URL (jdbc:xmla:Server=...;Catalog=...) and, for each question of QUESTION_FILE
// (one MDX query a line; the comment line before it, `# name`, names it), runs it once to warm
// and writes that answer to ANSWER_FILE, then runs it RUNS times (default 50), each time timing
// OlapStatement.executeOlapQuery and the reading of the whole answer as a client that shows it
// does: every position's members (unique name and caption) and every cell (value and formatted
// value). Each timed answer must hold the warm answer's values. Then, to tell the driver's part
// from the server's and the transport's, it posts the same Execute request as the driver does
// RUNS times over HTTP itself and reads the answer's bytes, parsing nothing. Prints a Markdown
// table on standard output: per question the cells, the median and 90th percentile of the whole,
// the medians of executeOlapQuery alone and of the reading alone, and the median of the bare
// HTTP exchange, in milliseconds; then the median of all timed runs of all questions.
//
// ANSWER_FILE has the form XmlaClientTest prints, which tests/xmla/compare_answers.py compares
// with cubemill-query's: "query N", "axis K" and one line per position (the members' unique names
// joined by TAB), "cells" and one line per cell (null, a number or "text").
//
// Exits 0 when every question was answered alike every time, 1 otherwise (each fault on
// standard error), 2 on wrong use.
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.net.HttpURLConnection;
import java.net.URL;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.sql.Connection;
import java.sql.DriverManager;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Locale;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import org.olap4j.Cell;
import org.olap4j.CellSet;
import org.olap4j.CellSetAxis;
import org.olap4j.OlapConnection;
import org.olap4j.OlapStatement;
import org.olap4j.Position;
import org.olap4j.metadata.Member;

public final class XmlaWarmBench {
  private static final double TARGET_MS = 5.0;

  private static final class Question {
    final String name;
    final String mdx;

    Question(String name, String mdx) {
      this.name = name;
      this.mdx = mdx;
    }
  }

  // One answer as the client read it: each axis's positions, then each cell's value and
  // formatted value.
  private static final class Answer {
    final List<List<String>> axes = new ArrayList<>();
    final List<String> values = new ArrayList<>();
    final List<String> formatted = new ArrayList<>();
    int cells;
  }

  private static final class Timing {
    final double[] total;
    final double[] execute;
    final double[] read;

    Timing(int runs) {
      total = new double[runs];
      execute = new double[runs];
      read = new double[runs];
    }
  }

  private final OlapConnection connection;
  private final URL server;
  private final String catalog;
  private int faults = 0;

  private XmlaWarmBench(OlapConnection connection, URL server, String catalog) {
    this.connection = connection;
    this.server = server;
    this.catalog = catalog;
  }

  public static void main(String[] args) throws Exception {
    if (args.length != 3 && args.length != 4) {
      System.err.println("usage: XmlaWarmBench URL QUESTION_FILE ANSWER_FILE [RUNS]");
      System.exit(2);
    }
    int runs = args.length == 4 ? Integer.parseInt(args[3]) : 50;
    if (runs < 1) {
      System.err.println("XmlaWarmBench: RUNS must be at least 1");
      System.exit(2);
    }
    List<Question> questions = readQuestions(args[1]);
    Class.forName("org.olap4j.driver.xmla.XmlaOlap4jDriver");
    PrintStream out = new PrintStream(System.out, true, StandardCharsets.UTF_8);
    int faults;
    try (Connection jdbc = DriverManager.getConnection(args[0]);
        PrintStream answers = new PrintStream(args[2], StandardCharsets.UTF_8)) {
      XmlaWarmBench bench = new XmlaWarmBench(jdbc.unwrap(OlapConnection.class),
          new URL(urlPart(args[0], "Server")), urlPart(args[0], "Catalog"));
      bench.run(questions, runs, answers, out);
      faults = bench.faults;
    }
    System.exit(faults == 0 ? 0 : 1);
  }

  // The value of `key` in a jdbc:xmla: URL ("" when it has none).
  private static String urlPart(String url, String key) {
    Matcher found = Pattern.compile("[:;]" + key + "=([^;]*)").matcher(url);
    return found.find() ? found.group(1) : "";
  }

  private static List<Question> readQuestions(String path) throws IOException {
    List<Question> questions = new ArrayList<>();
    String name = null;
    for (String line : Files.readAllLines(Paths.get(path), StandardCharsets.UTF_8)) {
      String text = line.trim();
      if (text.isEmpty()) continue;
      if (text.startsWith("#")) {
        name = text.substring(1).trim();
        continue;
      }
      questions.add(new Question(name == null ? "question " + (questions.size() + 1) : name,
          text));
      name = null;
    }
    return questions;
  }

  private void fault(String what) {
    ++faults;
    System.err.println("fault: " + what);
  }

  private void run(List<Question> questions, int runs, PrintStream answers, PrintStream out) {
    out.println("| question | cells | median ms | p90 ms | execute median ms | read median ms"
        + " | HTTP alone median ms |");
    out.println("|---|---:|---:|---:|---:|---:|---:|");
    List<Double> all = new ArrayList<>();
    for (int q = 0; q < questions.size(); ++q) {
      Question question = questions.get(q);
      answers.println("query " + (q + 1));
      Timing timing = new Timing(runs);
      double[] http = new double[runs];
      Answer warm;
      try {
        warm = ask(question.mdx, null, 0);
        printAnswer(warm, answers);
        for (int run = 0; run < runs; ++run) {
          Answer again = ask(question.mdx, timing, run);
          if (!again.values.equals(warm.values) || !again.axes.equals(warm.axes)) {
            fault(question.name + ": run " + (run + 1) + " answered otherwise than the first");
          }
        }
        for (int run = 0; run < runs; ++run) http[run] = post(question.mdx);
      } catch (Exception e) {
        fault(question.name + " (" + question.mdx + ") failed: " + e);
        for (Throwable cause = e.getCause(); cause != null; cause = cause.getCause()) {
          System.err.println("  caused by " + cause);
        }
        continue;
      }
      for (double ms : timing.total) all.add(ms);
      out.println(String.format(Locale.ROOT, "| %s | %,d | %.2f | %.2f | %.2f | %.2f | %.2f |",
          question.name, warm.cells, percentile(timing.total, 50), percentile(timing.total, 90),
          percentile(timing.execute, 50), percentile(timing.read, 50), percentile(http, 50)));
    }
    double[] every = all.stream().mapToDouble(Double::doubleValue).toArray();
    double median = every.length == 0 ? Double.NaN : percentile(every, 50);
    out.println();
    out.println(String.format(Locale.ROOT,
        "median of all %d timed runs (%d questions x %d): %.2f ms (target < %.0f ms: %s)",
        every.length, questions.size(), runs, median, TARGET_MS,
        median < TARGET_MS ? "met" : "MISSED"));
  }

  // Runs `mdx` and reads its whole answer; with `timing`, records the run's times at `run`.
  private Answer ask(String mdx, Timing timing, int run) throws Exception {
    try (OlapStatement statement = connection.createStatement()) {
      long start = System.nanoTime();
      CellSet cellSet = statement.executeOlapQuery(mdx);
      long executed = System.nanoTime();
      Answer answer = read(cellSet);
      long done = System.nanoTime();
      if (timing != null) {
        timing.execute[run] = (executed - start) / 1e6;
        timing.read[run] = (done - executed) / 1e6;
        timing.total[run] = (done - start) / 1e6;
      }
      return answer;
    }
  }

  // Posts the Execute request the driver sends for `mdx` (its envelope, properties and headers)
  // and reads the answer's bytes; returns the milliseconds it took. The connection is kept alive
  // between requests, as the driver's is.
  private double post(String mdx) throws IOException {
    String request = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        + "<soapenv:Envelope\n"
        + "    xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"\n"
        + "    xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\"\n"
        + "    xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
        + "    <soapenv:Body>\n"
        + "        <Execute xmlns=\"urn:schemas-microsoft-com:xml-analysis\">\n"
        + "        <Command>\n"
        + "        <Statement>\n"
        + "           <![CDATA[\n" + mdx + "]]>\n"
        + "         </Statement>\n"
        + "        </Command>\n"
        + "        <Properties>\n"
        + "          <PropertyList>\n"
        + "            <Catalog>" + catalog + "</Catalog>\n"
        + "            <Format>Multidimensional</Format>\n"
        + "            <AxisFormat>TupleFormat</AxisFormat>\n"
        + "          </PropertyList>\n"
        + "        </Properties>\n"
        + "</Execute>\n"
        + "</soapenv:Body>\n"
        + "</soapenv:Envelope>";
    long start = System.nanoTime();
    HttpURLConnection http = (HttpURLConnection) server.openConnection();
    http.setDoOutput(true);
    http.setRequestProperty("content-type", "text/xml");
    http.setRequestProperty("Accept", "text/xml;q=1");
    http.setRequestProperty("Accept-Charset", "UTF-8;q=1");
    http.setRequestProperty("SOAPAction", "\"urn:schemas-microsoft-com:xml-analysis:Execute\"");
    try (OutputStream body = http.getOutputStream()) {
      body.write(request.getBytes(StandardCharsets.UTF_8));
    }
    ByteArrayOutputStream bytes = new ByteArrayOutputStream();
    try (InputStream answer = http.getInputStream()) {
      answer.transferTo(bytes);
    }
    double ms = (System.nanoTime() - start) / 1e6;
    String text = bytes.toString(StandardCharsets.UTF_8);
    if (http.getResponseCode() != 200 || text.contains("Fault>")) {
      fault("the bare Execute of " + mdx + " failed: " + http.getResponseCode());
    }
    return ms;
  }

  // What a client that shows the answer reads of it: each position's members with their
  // captions, each cell's value and formatted value.
  private static Answer read(CellSet cellSet) {
    Answer answer = new Answer();
    int cells = 1;
    for (CellSetAxis axis : cellSet.getAxes()) {
      List<String> positions = new ArrayList<>();
      for (Position position : axis.getPositions()) {
        StringBuilder names = new StringBuilder();
        for (Member member : position.getMembers()) {
          if (names.length() > 0) names.append('\t');
          names.append(member.getUniqueName());
          member.getCaption();
        }
        positions.add(names.toString());
      }
      answer.axes.add(positions);
      cells *= axis.getPositionCount();
    }
    answer.cells = cells;
    for (int ordinal = 0; ordinal < cells; ++ordinal) {
      Cell cell = cellSet.getCell(ordinal);
      answer.values.add(valueText(cell));
      answer.formatted.add(cell.getFormattedValue());
    }
    return answer;
  }

  private static void printAnswer(Answer answer, PrintStream out) {
    for (int axis = 0; axis < answer.axes.size(); ++axis) {
      out.println("axis " + axis);
      for (String position : answer.axes.get(axis)) out.println(position);
    }
    out.println("cells");
    for (String value : answer.values) out.println(value);
  }

  private static String valueText(Cell cell) {
    Object value = cell.getValue();
    if (cell.isNull() || value == null) return "null";
    if (value instanceof Number) return value.toString();
    return "\"" + value + "\"";
  }

  // The p-th percentile by the nearest rank (the median of an even count: the mean of the
  // two middle values).
  private static double percentile(double[] values, int p) {
    double[] sorted = values.clone();
    Arrays.sort(sorted);
    if (p == 50 && sorted.length % 2 == 0) {
      return (sorted[sorted.length / 2 - 1] + sorted[sorted.length / 2]) / 2;
    }
    int rank = (int) Math.ceil(p / 100.0 * sorted.length);
    return sorted[Math.max(rank, 1) - 1];
  }
}

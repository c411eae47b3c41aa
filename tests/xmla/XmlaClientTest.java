// An XMLA client test: a real JDBC/XMLA driver against cubemill-serve.
//
// Usage: java XmlaClientTest URL CATALOG QUERY_FILE
//
// Connects to URL (jdbc:xmla:Server=...;Catalog=CATALOG), walks the catalog's metadata as a pivot
// client does (catalogs, schemas, cubes, dimensions, hierarchies, levels, the members of each
// level, the children of members, a member's siblings, descendants and ancestors, measures) and
// checks what it finds against the answers the server gives to MDX over the same names. Then runs each query of QUERY_FILE (one a line, `#`
// starts a comment) and prints its answer in a plain form that the driver script compares with
// cubemill-query's:
//
//   query N
//   axis 0
//   <the members' unique names of each position, joined by TAB>
//   axis 1 ...
//   cells
//   <each cell's value in ordinal order: null, a number, or "text">
//
// Exits 0 when the walk found nothing wrong and every query was answered, 1 otherwise (each
// fault printed on standard error), 2 on wrong use.
import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.sql.Connection;
import java.sql.DriverManager;
import java.util.ArrayList;
import java.util.EnumSet;
import java.util.List;
import org.olap4j.Cell;
import org.olap4j.CellSet;
import org.olap4j.CellSetAxis;
import org.olap4j.OlapConnection;
import org.olap4j.OlapStatement;
import org.olap4j.Position;
import org.olap4j.mdx.IdentifierNode;
import org.olap4j.mdx.IdentifierSegment;
import org.olap4j.metadata.Catalog;
import org.olap4j.metadata.Cube;
import org.olap4j.metadata.Dimension;
import org.olap4j.metadata.Hierarchy;
import org.olap4j.metadata.Level;
import org.olap4j.metadata.Measure;
import org.olap4j.metadata.Member;
import org.olap4j.metadata.Schema;

public final class XmlaClientTest {
  private final OlapConnection connection;
  private final PrintStream out;
  private int faults = 0;

  private XmlaClientTest(OlapConnection connection, PrintStream out) {
    this.connection = connection;
    this.out = out;
  }

  public static void main(String[] args) throws Exception {
    if (args.length != 3) {
      System.err.println("usage: XmlaClientTest URL CATALOG QUERY_FILE");
      System.exit(2);
    }
    Class.forName("org.olap4j.driver.xmla.XmlaOlap4jDriver");
    PrintStream out = new PrintStream(System.out, true, StandardCharsets.UTF_8);
    int faults;
    try (Connection jdbc = DriverManager.getConnection(args[0])) {
      XmlaClientTest test = new XmlaClientTest(jdbc.unwrap(OlapConnection.class), out);
      test.walk(args[1]);
      test.runQueries(args[2]);
      faults = test.faults;
    }
    System.exit(faults == 0 ? 0 : 1);
  }

  private void fault(String what) {
    ++faults;
    System.err.println("fault: " + what);
  }

  // The catalogs, and the cubes of the one the URL names, down to every level's members.
  private void walk(String catalogName) throws Exception {
    boolean found = false;
    for (Catalog catalog : connection.getOlapCatalogs()) {
      out.println("catalog " + catalog.getName());
      found |= catalog.getName().equals(catalogName);
    }
    if (!found) fault("the server lists no catalog " + catalogName);
    Catalog catalog = connection.getOlapCatalog();
    if (!catalog.getName().equals(catalogName)) {
      fault("the connection's catalog is " + catalog.getName() + ", not " + catalogName);
    }
    for (Schema schema : catalog.getSchemas()) {
      out.println("schema " + schema.getName());
      for (Cube cube : schema.getCubes()) walkCube(cube);
    }
  }

  private void walkCube(Cube cube) throws Exception {
    out.println("cube " + cube.getUniqueName());
    for (Dimension dimension : cube.getDimensions()) {
      out.println("dimension " + dimension.getUniqueName() + " " + dimension.getDimensionType());
      for (Hierarchy hierarchy : dimension.getHierarchies()) {
        // A hierarchy of a cube built from no rows has no member, so no default member either.
        final Member defaultMember = hierarchy.getDefaultMember();
        out.println("hierarchy " + hierarchy.getUniqueName() + " default "
            + (defaultMember == null ? "none" : defaultMember.getUniqueName()));
        if (defaultMember != null && hierarchy.getRootMembers().isEmpty()) {
          fault(hierarchy.getUniqueName() + " has no root member");
        }
        for (Level level : hierarchy.getLevels()) walkLevel(cube, level);
      }
    }
    List<String> measures = new ArrayList<>();
    for (Measure measure : cube.getMeasures()) {
      measures.add(measure.getUniqueName());
      out.println("measure " + measure.getUniqueName() + " " + measure.getAggregator());
    }
    if (measures.isEmpty()) fault(cube.getName() + " has no measures");
  }

  // A level's members as the metadata lists them must be those MDX gives for Level.Members, in
  // order, and the children of its first member those of Member.Children.
  private void walkLevel(Cube cube, Level level) throws Exception {
    List<Member> members = level.getMembers();
    out.println("level " + level.getUniqueName() + " depth " + level.getDepth() + " members "
        + members.size());
    if (level.getDimension().getDimensionType() == Dimension.Type.MEASURE) return;
    String from = " FROM " + bracketed(cube.getName());
    expectSameNames(level.getUniqueName() + ".Members", uniqueNames(members),
        "SELECT " + level.getUniqueName() + ".Members ON 0" + from);
    if (members.isEmpty()) return;
    Member first = members.get(0);
    if (first.getLevel().getDepth() != level.getDepth()) {
      fault(first.getUniqueName() + " is not at the depth of " + level.getUniqueName());
    }
    List<Member> children = new ArrayList<>(first.getChildMembers());
    expectSameNames(first.getUniqueName() + ".Children", uniqueNames(children),
        "SELECT " + first.getUniqueName() + ".Children ON 0" + from);
    for (Member child : children) {
      if (child.getParentMember() == null
          || !child.getParentMember().getUniqueName().equals(first.getUniqueName())) {
        fault(child.getUniqueName() + " does not name " + first.getUniqueName() + " its parent");
      }
    }
    walkRelatives(cube, first, from);
  }

  // A member found by its unique name, and its relatives as the tree operations find them: its
  // siblings with itself must be Member.Siblings, its descendants Descendants(m, 1,
  // SELF_AND_AFTER), its ancestors its parents up to the top.
  private void walkRelatives(Cube cube, Member member, String from) throws Exception {
    String name = member.getUniqueName();
    List<IdentifierSegment> segments = IdentifierNode.parseIdentifier(name).getSegmentList();
    Member found = cube.lookupMember(segments);
    if (found == null || !found.getUniqueName().equals(name)) {
      fault("looking up " + name + " finds " + (found == null ? "nothing" : found.getUniqueName()));
    }
    expectSameNames(name + " siblings and itself",
        uniqueNames(cube.lookupMembers(EnumSet.of(Member.TreeOp.SIBLINGS, Member.TreeOp.SELF),
            segments)),
        "SELECT " + name + ".Siblings ON 0" + from);
    expectSameNames(name + " descendants",
        uniqueNames(cube.lookupMembers(EnumSet.of(Member.TreeOp.DESCENDANTS), segments)),
        "SELECT Descendants(" + name + ", 1, SELF_AND_AFTER) ON 0" + from);
    List<String> parents = new ArrayList<>();
    for (Member at = member.getParentMember(); at != null; at = at.getParentMember()) {
      parents.add(0, at.getUniqueName());
    }
    List<String> ancestors =
        uniqueNames(cube.lookupMembers(EnumSet.of(Member.TreeOp.ANCESTORS), segments));
    if (!ancestors.equals(parents)) {
      fault(name + ": its ancestors are " + ancestors + ", its parents " + parents);
    }
  }

  private void expectSameNames(String what, List<String> listed, String mdx) throws Exception {
    List<String> asked = new ArrayList<>();
    try (OlapStatement statement = connection.createStatement()) {
      CellSet answer = statement.executeOlapQuery(mdx);
      for (Position position : answer.getAxes().get(0).getPositions()) {
        asked.add(position.getMembers().get(0).getUniqueName());
      }
    } catch (Exception e) {
      fault(what + ": " + mdx + " failed: " + e);
      return;
    }
    if (!asked.equals(listed)) {
      fault(what + ": the metadata lists " + listed + ", the query gives " + asked);
    }
  }

  private void runQueries(String queryFile) throws IOException {
    int number = 0;
    for (String line : Files.readAllLines(Paths.get(queryFile), StandardCharsets.UTF_8)) {
      String mdx = line.trim();
      if (mdx.isEmpty() || mdx.startsWith("#")) continue;
      ++number;
      out.println("query " + number);
      try (OlapStatement statement = connection.createStatement()) {
        printAnswer(statement.executeOlapQuery(mdx));
      } catch (Exception e) {
        fault("query " + number + " (" + mdx + ") failed: " + e);
        for (Throwable cause = e.getCause(); cause != null; cause = cause.getCause()) {
          System.err.println("  caused by " + cause);
        }
      }
    }
  }

  private void printAnswer(CellSet answer) {
    int cells = 1;
    for (CellSetAxis axis : answer.getAxes()) {
      out.println("axis " + axis.getAxisOrdinal().axisOrdinal());
      for (Position position : axis.getPositions()) {
        List<String> names = uniqueNames(position.getMembers());
        out.println(String.join("\t", names));
      }
      cells *= axis.getPositionCount();
    }
    out.println("cells");
    for (int ordinal = 0; ordinal < cells; ++ordinal) {
      out.println(valueText(answer.getCell(ordinal)));
    }
  }

  private static String valueText(Cell cell) {
    Object value = cell.getValue();
    if (cell.isNull() || value == null) return "null";
    if (value instanceof Number) return value.toString();
    return "\"" + value + "\"";
  }

  private static List<String> uniqueNames(List<? extends Member> members) {
    List<String> names = new ArrayList<>();
    for (Member member : members) names.add(member.getUniqueName());
    return names;
  }

  private static String bracketed(String name) {
    return "[" + name.replace("]", "]]") + "]";
  }
}

// The JDBC 4 base classes that Debian's XMLA driver jar leaves out.
//
// The jar's FactoryJdbc41Impl extends these nested classes, and the driver picks that factory on
// any Java of 7 or later, so without them every connection fails with NoClassDefFoundError. Each
// class only passes its constructor through to the driver class it extends; the JDBC 4 methods
// none of the tests call stay unimplemented (abstract).
package org.olap4j.driver.xmla;

import java.sql.SQLException;
import java.util.List;
import java.util.Properties;
import org.olap4j.OlapException;
import org.olap4j.driver.xmla.proxy.XmlaOlap4jProxy;

abstract class FactoryJdbc4Plus {
  private FactoryJdbc4Plus() {}

  abstract static class AbstractConnection extends XmlaOlap4jConnection {
    AbstractConnection(Factory factory, XmlaOlap4jDriver driver, XmlaOlap4jProxy proxy,
        String url, Properties info) throws SQLException {
      super(factory, driver, proxy, url, info);
    }
  }

  abstract static class AbstractEmptyResultSet extends EmptyResultSet {
    AbstractEmptyResultSet(XmlaOlap4jConnection connection, List<String> headers,
        List<List<Object>> rows) {
      super(connection, headers, rows);
    }
  }

  abstract static class AbstractCellSet extends XmlaOlap4jCellSet {
    AbstractCellSet(XmlaOlap4jStatement statement) throws OlapException {
      super(statement);
    }
  }

  abstract static class AbstractDatabaseMetaData extends XmlaOlap4jDatabaseMetaData {
    AbstractDatabaseMetaData(XmlaOlap4jConnection connection) {
      super(connection);
    }
  }

  abstract static class AbstractPreparedStatement extends XmlaOlap4jPreparedStatement {
    AbstractPreparedStatement(XmlaOlap4jConnection connection, String mdx)
        throws OlapException {
      super(connection, mdx);
    }
  }
}

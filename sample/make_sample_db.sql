-- Creates the sample sales database of the quick start. Deterministic: every run gives the same
-- 3,000 sales, spread over the days of 2023 to 2025 by arithmetic on the sale number.
--   sqlite3 sample/data/sales.db < sample/make_sample_db.sql
-- Text columns are declared VARCHAR(n) so that the ODBC driver announces their width and the
-- rows can be fetched in blocks. Two cities share a name in different countries (Valencia,
-- Cordoba): they are different members of the City level.
PRAGMA foreign_keys = ON;
DROP TABLE IF EXISTS sales;
DROP TABLE IF EXISTS cities;
DROP TABLE IF EXISTS products;

CREATE TABLE cities (
  city_id INTEGER PRIMARY KEY,
  country VARCHAR(40) NOT NULL,
  city    VARCHAR(40) NOT NULL
);
INSERT INTO cities (city_id, country, city) VALUES
  (1, 'Spain', 'Madrid'),
  (2, 'Spain', 'Valencia'),
  (3, 'Spain', 'Cordoba'),
  (4, 'Venezuela', 'Caracas'),
  (5, 'Venezuela', 'Valencia'),
  (6, 'Venezuela', 'Maracaibo'),
  (7, 'Argentina', 'Buenos Aires'),
  (8, 'Argentina', 'Cordoba'),
  (9, 'Germany', 'Hamburg'),
  (10, 'Germany', 'Berlin');

CREATE TABLE products (
  product_id INTEGER PRIMARY KEY,
  category   VARCHAR(40) NOT NULL,
  product    VARCHAR(40) NOT NULL,
  unit_price REAL NOT NULL
);
INSERT INTO products (product_id, category, product, unit_price) VALUES
  (1, 'Bikes', 'Road Bike', 899.0),
  (2, 'Bikes', 'Mountain Bike', 749.5),
  (3, 'Bikes', 'City Bike', 499.0),
  (4, 'Accessories', 'Helmet', 59.9),
  (5, 'Accessories', 'Lock', 24.95),
  (6, 'Accessories', 'Bottle', 7.5),
  (7, 'Accessories', 'Lights', 19.99),
  (8, 'Clothing', 'Jersey', 45.0),
  (9, 'Clothing', 'Gloves', 15.5),
  (10, 'Clothing', 'Cap', 9.99);

CREATE TABLE sales (
  sale_id    INTEGER PRIMARY KEY,
  sale_date  DATE NOT NULL,
  city_id    INTEGER NOT NULL REFERENCES cities (city_id),
  product_id INTEGER NOT NULL REFERENCES products (product_id),
  quantity   INTEGER NOT NULL,
  amount     REAL NOT NULL
);

-- 1,096 days from 2023-01-01 reach 2025-12-31; 7919 is prime, so the days are well mixed.
-- The discount is 0, 5, 10 or 15 percent.
INSERT INTO sales (sale_id, sale_date, city_id, product_id, quantity, amount)
WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000),
  picks AS (
    SELECT i,
           date('2023-01-01', '+' || ((i * 7919) % 1096) || ' days') AS sale_date,
           1 + (i * 31 + i / 7) % 10 AS city_id,
           1 + (i * 17 + i / 3) % 10 AS product_id,
           1 + (i * 13) % 5 AS quantity,
           (i * 11) % 4 AS discount_step
    FROM n)
SELECT picks.i, picks.sale_date, picks.city_id, picks.product_id, picks.quantity,
       round(picks.quantity * products.unit_price * (1 - picks.discount_step * 0.05), 2)
FROM picks JOIN products ON products.product_id = picks.product_id;

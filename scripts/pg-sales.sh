# shellcheck shell=bash
# The generated sales table of the PostgreSQL tests and benchmarks, in one place: sourced (not
# run) by scripts/pg-sharded.sh, which spreads the rows over two shards, and bench/pg_run.sh,
# which loads them into one server. Both give the same rows for the same number of rows.
#
# The table has the shape of the speed benchmark's SQLite source (bench/sales_source.h):
#   sale_date DATE, city_id INTEGER, country, city, category, product VARCHAR(20),
#   quantity INTEGER, amount NUMERIC(12,2)
# with every value computed from the row number and a fixed seed (the same rows every time).

# The seed of every generated sales table.
readonly kSalesSeed=20240307

# Prints the columns of the table "sales", one a line (for the inside of a CREATE TABLE).
sales_table_columns() {
  cat <<'EOF'
  sale_date DATE NOT NULL,
  city_id INTEGER NOT NULL,
  country VARCHAR(20) NOT NULL,
  city VARCHAR(20) NOT NULL,
  category VARCHAR(20) NOT NULL,
  product VARCHAR(20) NOT NULL,
  quantity INTEGER NOT NULL,
  amount NUMERIC(12,2) NOT NULL
EOF
}

# Prints the statement that inserts into "sales" those of the generated sales 1 to $1 whose dates
# lie in [$2, $3) (default: every date, 2021-01-01 to 2023-12-31).
sales_insert() {
  local rows=$1 first=${2:-2021-01-01} last=${3:-2024-01-01}
  # One 63-bit hash of the row number and the seed gives the day (1,095 days from 2021-01-01),
  # the city (400), the product (300) and the quantity (1-20), as the benchmark's generator does
  # with its random draw; a product's unit price (1.00-99.99) is a hash of the product. A server
  # that keeps only some dates still computes every row and keeps those of its dates.
  cat <<EOF
INSERT INTO sales
SELECT DATE '2021-01-01' + day, city,
       'Country ' || lpad((city % 20 + 1)::text, 2, '0'),
       'City ' || lpad((city + 1)::text, 3, '0'),
       'Category ' || lpad((product % 20 + 1)::text, 2, '0'),
       'Product ' || lpad((product + 1)::text, 3, '0'),
       quantity,
       quantity * (100 + (hashint4extended(product, $kSalesSeed) & 9223372036854775807) % 9900) / 100.0
FROM (SELECT (r % 1095)::integer AS day, ((r / 1095) % 400)::integer AS city,
             ((r / 438000) % 300)::integer AS product, (1 + (r / 131400000) % 20)::integer AS quantity
      FROM (SELECT hashint8extended(i, $kSalesSeed) & 9223372036854775807 AS r
            FROM generate_series(1, $rows) AS i) AS hashes) AS draws
WHERE DATE '2021-01-01' + day >= DATE '$first' AND DATE '2021-01-01' + day < DATE '$last';
EOF
}

// Loads a history file into a DuckDB table, as the peer benchmark's other side, and prints the seconds
// the load took (from before the statement to its end, the engine already started) and the rows.
//
//   node load-duckdb.mjs FILE [THREADS]
//
// The format's fields are each quoted and hold no line ends, and a field never holds the three
// characters quote-comma-quote: cutting at those, without quote handling, reads every field exactly
// (the first field keeps its opening quote, the last its closing one).
import { DuckDBInstance } from '@duckdb/node-api';

const [file, threads = '2'] = process.argv.slice(2);
if (!file) {
  console.error('usage: node load-duckdb.mjs FILE [THREADS]');
  process.exit(2);
}
const instance = await DuckDBInstance.create(':memory:', { threads });
const connection = await instance.connect();
const quoted = file.replaceAll("'", "''");
const started = process.hrtime.bigint();
await connection.run(
  `CREATE TABLE history AS SELECT * FROM read_csv('${quoted}', delim = '","', quote = '', escape = '',
     header = true, all_varchar = true, parallel = true)`);
const seconds = Number(process.hrtime.bigint() - started) / 1e9;
const reader = await connection.runAndReadAll('SELECT count(*) FROM history');
console.log(`${seconds.toFixed(3)} ${reader.getRows()[0][0]}`);

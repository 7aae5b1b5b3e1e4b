# File name: people.sql
# Creation date: 2026-12-11
# Created by Tessaline 7.1 
# --------------------------------------------------
# Statements to be run by the mysql command-line client

SET NAMES utf8;
/*!50503 SET NAMES utf8mb4 */;
/*!40101 SET SESSION sql_mode = REPLACE(@@SESSION.sql_mode, 'NO_BACKSLASH_ESCAPES', '') */;

#
# Table structure for table 'people'
#

DROP TABLE IF EXISTS `people` CASCADE;
CREATE TABLE `people` (
  `id` INT,
  `name` VARCHAR(255) CHARACTER SET utf8mb4,
  `big` BIGINT,
  `price` DOUBLE,
  `born` DATE,
  `seen` DATETIME,
  `at` TIME,
  `code` VARCHAR(255) CHARACTER SET utf8mb4,
  `local time` VARCHAR(255) CHARACTER SET utf8mb4,
  `long note` TEXT CHARACTER SET utf8mb4
) ENGINE=InnoDB;

#
# Dumping data for table 'people'
#

LOCK TABLES `people` WRITE;
INSERT INTO `people`(`id`, `name`, `big`, `price`, `born`, `seen`, `at`, `code`, `local time`, `long note`) VALUES(1, 'Smith, John', 3000000000, 1.5, '2024-01-31', '2024-01-31 08:30:00', '08:30:00', '007', '3:15:00 PM', 'short'), (2, 'Line one\nline two', -3000000001, -0.25, '2023-12-01', '2023-12-01 23:59:59', '23:59:59', '010', '11:00:00 AM', 'xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx-end:)'), (3, 'She said "hi"; ok', 9000000000, 42.125, '2000-02-29', '2000-02-29 00:00:00', '00:00:00', '099', '1:05:09 PM', 'naïve café, 中文 😀'), (4, 'Ünïcödé — ✓ 😀', 12, 0.5, '1999-12-31', '1999-12-31 12:00:00', '12:00:00', '123', '12:00:00 PM', '\'quoted\' \\ back');
UNLOCK TABLES;

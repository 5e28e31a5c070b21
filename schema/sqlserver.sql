-- Korimba's tables and indexes for SQL Server. Safe to run again: it creates
-- only what is missing and never drops or changes data. Run it with sqlcmd
-- (each GO ends a batch):
--   sqlcmd -S server -d database -U user -i schema/sqlserver.sql
-- or let `korimba init-db` create the same objects over ODBC. Column order
-- matters: pages show "Select *" grids in this order.
-- MsgContent is nvarchar(max) rather than ntext: the group-message tracking
-- groups by it and the friend list takes left() of it, which SQL Server
-- refuses on ntext columns.

IF OBJECT_ID(N'dbo.DATA_Msg', N'U') IS NULL
CREATE TABLE dbo.DATA_Msg (
  MsgID int IDENTITY(1,1) NOT NULL CONSTRAINT PK_DATA_Msg PRIMARY KEY,
  PersonID int NULL,
  MsgFromPersonID int NULL,
  MsgTitle nvarchar(200) NULL,
  MsgContent nvarchar(max) NULL,
  MsgFileName nvarchar(255) NULL,
  msgFlag int NULL CONSTRAINT DF_DATA_Msg_msgFlag DEFAULT 0,
  msgCreatetime datetime NULL CONSTRAINT DF_DATA_Msg_msgCreatetime DEFAULT getdate()
)
GO

IF OBJECT_ID(N'dbo.HR_Person', N'U') IS NULL
CREATE TABLE dbo.HR_Person (
  PersonID int NOT NULL CONSTRAINT PK_HR_Person PRIMARY KEY,
  PersonName nvarchar(50) NULL
)
GO

IF OBJECT_ID(N'dbo.DATA_Plan', N'U') IS NULL
CREATE TABLE dbo.DATA_Plan (
  PlanID int IDENTITY(1,1) NOT NULL CONSTRAINT PK_DATA_Plan PRIMARY KEY,
  PersonID int NULL,
  PlanType int NULL,
  PlanClass int NULL,
  PlanBeginTime datetime NULL,
  PlanEndTime datetime NULL,
  PlanAlertTime datetime NULL,
  PlanContent ntext NULL,
  PlanPlace nvarchar(200) NULL
)
GO

-- Sign-in accounts of the web pages (a login and its person).
IF OBJECT_ID(N'dbo.KORIMBA_Account', N'U') IS NULL
CREATE TABLE dbo.KORIMBA_Account (
  LoginName nvarchar(100) NOT NULL CONSTRAINT PK_KORIMBA_Account PRIMARY KEY,
  PersonID int NOT NULL,
  PasswordHash nvarchar(255) NULL,
  Created datetime NULL,
  LastSignIn datetime NULL
)
GO

-- The conversation of two persons, the retention rule, a person's inbox.
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_Pair')
CREATE INDEX IX_DATA_Msg_Pair ON dbo.DATA_Msg (PersonID, MsgFromPersonID, msgCreatetime)
GO

-- A person's oldest unread message.
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_Unread')
CREATE INDEX IX_DATA_Msg_Unread ON dbo.DATA_Msg (PersonID, msgFlag, msgCreatetime)
GO

-- What a person sent: history, group tracking, frequent contacts.
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_From')
CREATE INDEX IX_DATA_Msg_From ON dbo.DATA_Msg (MsgFromPersonID, msgCreatetime)
GO

-- Messages by time.
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_Createtime')
CREATE INDEX IX_DATA_Msg_Createtime ON dbo.DATA_Msg (msgCreatetime)
GO

-- A person's received messages newest first, without a sort, read from the
-- index alone.
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_InboxCover')
CREATE INDEX IX_DATA_Msg_InboxCover ON dbo.DATA_Msg (PersonID, msgCreatetime) INCLUDE (MsgFromPersonID, msgFlag, MsgFileName, MsgContent)
GO

-- The titles of a person's received messages: the search of one's inbox reads
-- them and the contents above from indexes alone.
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_InboxTitle')
CREATE INDEX IX_DATA_Msg_InboxTitle ON dbo.DATA_Msg (PersonID) INCLUDE (MsgTitle, msgCreatetime)
GO

-- What one person sent, by recipient: the persons one writes to most, grouped
-- in index order, and the group messages one sent, read from the index alone.
-- (SQL Server's filtered indexes take no LIKE, so the group messages cannot
-- have one of their own.) The search of one's sent messages reads it too. It
-- supersedes IX_DATA_Msg_SentCover of an earlier schema, which it drops.
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_Sent')
CREATE INDEX IX_DATA_Msg_Sent ON dbo.DATA_Msg (MsgFromPersonID, PersonID) INCLUDE (MsgContent, msgCreatetime, MsgTitle)
IF EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_SentCover')
DROP INDEX IX_DATA_Msg_SentCover ON dbo.DATA_Msg
GO

-- A person's plans in a period: month, week and day views, paged listing.
-- (PlanContent is ntext, which an index cannot include: the search of one's
-- plans looks the rows up.)
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Plan') AND name = N'IX_DATA_Plan_Person')
CREATE INDEX IX_DATA_Plan_Person ON dbo.DATA_Plan (PersonID, PlanBeginTime, PlanEndTime)
GO

-- A person's plans by their end: the week view selects plans that begin or
-- end in the week, and each side of that OR seeks its own index.
IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Plan') AND name = N'IX_DATA_Plan_End')
CREATE INDEX IX_DATA_Plan_End ON dbo.DATA_Plan (PersonID, PlanEndTime, PlanBeginTime)
GO

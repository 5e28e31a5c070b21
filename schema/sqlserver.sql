-- Korimba tables and indexes for SQL Server. Safe to run again: it creates
-- only what is missing and never drops or changes data. Run with sqlcmd
-- (each GO ends a batch), e.g.
--   sqlcmd -S server -d database -U user -i schema/sqlserver.sql
-- Column order matters: pages show "Select *" grids in this order.

IF OBJECT_ID(N'dbo.DATA_Msg', N'U') IS NULL
CREATE TABLE dbo.DATA_Msg (
  MsgID int IDENTITY(1,1) NOT NULL CONSTRAINT PK_DATA_Msg PRIMARY KEY,
  PersonID int NULL,
  MsgFromPersonID int NULL,
  MsgTitle nvarchar(200) NULL,
  MsgContent ntext NULL,
  MsgFileName nvarchar(255) NULL,
  msgFlag int NULL CONSTRAINT DF_DATA_Msg_msgFlag DEFAULT 0,
  msgCreatetime datetime NULL CONSTRAINT DF_DATA_Msg_msgCreatetime DEFAULT getdate()
);
GO

IF OBJECT_ID(N'dbo.HR_Person', N'U') IS NULL
CREATE TABLE dbo.HR_Person (
  PersonID int NOT NULL CONSTRAINT PK_HR_Person PRIMARY KEY,
  PersonName nvarchar(50) NULL
);
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
);
GO

-- Conversations and inboxes: a recipient, optionally with a sender, newest
-- or oldest first (the retention rule, unread lookups, the pair listing).
IF NOT EXISTS (SELECT * FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_PersonID')
CREATE INDEX IX_DATA_Msg_PersonID ON dbo.DATA_Msg (PersonID, MsgFromPersonID, msgCreatetime);
GO

-- What a person sent (history, broadcast tracking, frequent contacts).
IF NOT EXISTS (SELECT * FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_MsgFromPersonID')
CREATE INDEX IX_DATA_Msg_MsgFromPersonID ON dbo.DATA_Msg (MsgFromPersonID, msgCreatetime);
GO

IF NOT EXISTS (SELECT * FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = N'IX_DATA_Msg_msgCreatetime')
CREATE INDEX IX_DATA_Msg_msgCreatetime ON dbo.DATA_Msg (msgCreatetime);
GO

-- A person's plans in a period (month, week and day views, paged listing).
IF NOT EXISTS (SELECT * FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.DATA_Plan') AND name = N'IX_DATA_Plan_PersonID')
CREATE INDEX IX_DATA_Plan_PersonID ON dbo.DATA_Plan (PersonID, PlanBeginTime, PlanEndTime);
GO

IF NOT EXISTS (SELECT * FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.DATA_Plan') AND name = N'IX_DATA_Plan_PlanBeginTime')
CREATE INDEX IX_DATA_Plan_PlanBeginTime ON dbo.DATA_Plan (PlanBeginTime, PlanEndTime);
GO

IF NOT EXISTS (SELECT * FROM sys.indexes
               WHERE object_id = OBJECT_ID(N'dbo.DATA_Plan') AND name = N'IX_DATA_Plan_PlanEndTime')
CREATE INDEX IX_DATA_Plan_PlanEndTime ON dbo.DATA_Plan (PlanEndTime);
GO
